#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "wave/format_readers.h"

// Where the module is: its file name, and its folder relative to the program's folder once
// installed (both from the build). In the build tree the programs find it by name, through the
// run path the build gives them.
#ifndef ZELVIO_FORMAT_MODULE_NAME
#error "the build names the reader module (ZELVIO_FORMAT_MODULE_NAME)"
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

/// The places to load the module from, in turn: only $ZELVIO_FORMAT_MODULE when it is set (for
/// tests and for trying a module out); else beside the installed program, then by name.
std::vector<std::string> moduleCandidates() {
    if (const char* chosen = std::getenv("ZELVIO_FORMAT_MODULE"); chosen != nullptr) {
        return {chosen};
    }
    std::vector<std::string> candidates;
    if (const std::filesystem::path folder = programFolder(); !folder.empty()) {
        candidates.push_back(
            (folder / ZELVIO_FORMAT_MODULE_FROM_PROGRAM / ZELVIO_FORMAT_MODULE_NAME).string());
    }
    candidates.emplace_back(ZELVIO_FORMAT_MODULE_NAME);
    return candidates;
}

FormatModule loadModule() {
    FormatModule module;
    for (const std::string& candidate : moduleCandidates()) {
        void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            if (module.failure.empty()) {
                const char* why = dlerror();
                module.failure = why != nullptr ? why : candidate + ": cannot be loaded";
            }
            continue;
        }
        if (void* entry = dlsym(handle, kFormatModuleEntry); entry != nullptr) {
            // Kept loaded for the life of the process: the sources it opens run its code.
            module.entry = reinterpret_cast<FormatModuleEntry>(entry);
            module.failure.clear();
            return module;
        }
        module.failure = candidate + " is not this program's reader module";
        dlclose(handle);
    }
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
