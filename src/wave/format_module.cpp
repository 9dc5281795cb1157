#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "wave/format_readers.h"

// Where the module is (all from the build): its file name; the build tree and the folder in it
// where the module is built; its folder relative to the program's folder once installed.
#ifndef ZELVIO_FORMAT_MODULE_NAME
#error "the build names the reader module (ZELVIO_FORMAT_MODULE_NAME)"
#endif
#if !defined(ZELVIO_FORMAT_MODULE_BUILD_TREE) || !defined(ZELVIO_FORMAT_MODULE_BUILD_DIR)
#error "the build says where its tree and the module in it are (ZELVIO_FORMAT_MODULE_BUILD_*)"
#endif
#ifndef ZELVIO_FORMAT_MODULE_FROM_PROGRAM
#error "the build says where the reader module is installed (ZELVIO_FORMAT_MODULE_FROM_PROGRAM)"
#endif

namespace zelvio {
namespace {

struct FormatModule {
    FormatModuleEntry entry = nullptr;
    std::string failure;  ///< why it could not be loaded
};

/// The folder of the running program; empty where the system does not say.
std::filesystem::path programFolder() {
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path() : program.parent_path();
}

/// True when path lies inside folder (both made canonical as far as they exist).
bool isInside(const std::filesystem::path& path, const std::filesystem::path& folder) {
    std::error_code error;
    const std::filesystem::path inner = std::filesystem::weakly_canonical(path, error);
    const std::filesystem::path outer = std::filesystem::weakly_canonical(folder, error);
    if (error) {
        return false;
    }
    const auto outerEnd =
        std::mismatch(outer.begin(), outer.end(), inner.begin(), inner.end()).first;
    return outerEnd == outer.end();
}

/// Where to load the module from: $ZELVIO_FORMAT_MODULE when it is set (for tests and for
/// trying a module out); for a program of the build tree, the module the build made; for an
/// installed program, the module installed with it; by name through the system's search path
/// where the program's own place is unknown. (Not through the program's run path: a library
/// that wraps dlopen, as AddressSanitizer does, becomes the caller whose run path counts.)
std::string modulePath() {
    if (const char* chosen = std::getenv("ZELVIO_FORMAT_MODULE"); chosen != nullptr) {
        return chosen;
    }
    const std::filesystem::path folder = programFolder();
    if (folder.empty()) {
        return ZELVIO_FORMAT_MODULE_NAME;
    }
    if (isInside(folder, ZELVIO_FORMAT_MODULE_BUILD_TREE)) {
        return (std::filesystem::path(ZELVIO_FORMAT_MODULE_BUILD_DIR) / ZELVIO_FORMAT_MODULE_NAME)
            .string();
    }
    return (folder / ZELVIO_FORMAT_MODULE_FROM_PROGRAM / ZELVIO_FORMAT_MODULE_NAME).string();
}

FormatModule loadModule() {
    FormatModule module;
    const std::string path = modulePath();
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* why = dlerror();
        module.failure = why != nullptr ? why : path + ": cannot be loaded";
        return module;
    }
    if (void* entry = dlsym(handle, kFormatModuleEntry); entry != nullptr) {
        // Kept loaded for the life of the process: the sources it opens run its code.
        module.entry = reinterpret_cast<FormatModuleEntry>(entry);
        return module;
    }
    module.failure = path + " is not this program's reader module";
    dlclose(handle);
    return module;
}

}  // namespace

OpenedAudio openThroughFormatModule(const std::shared_ptr<InputFile>& file, bool oggOrMpeg) {
    static const FormatModule module = loadModule();  // once, even with several threads
    OpenedAudio opened;
    if (module.entry != nullptr &&
        module.entry(kFormatModuleInterface, &file, oggOrMpeg, &opened) == 1) {
        return opened;
    }
    return OpenedAudio::refused(
        kAudioUnsupported,
        "the readers of formats other than WAVE cannot be loaded (" +
            (module.entry != nullptr ? std::string("the module is of another version")
                                     : module.failure) +
            ")",
        false);
}

}  // namespace zelvio
