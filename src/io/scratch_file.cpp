#include "io/scratch_file.h"

#include <string>
#include <system_error>

#include "io/file_system.h"
#include "io/path_text.h"
#include "io/unique_file.h"

namespace zelvio {

bool ScratchFile::create(const char* tag) {
    remove();
    errorText_.clear();
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::temp_directory_path(error);
    if (error) {
        errorText_ = "cannot find the folder for scratch files (TMPDIR): " + reasonText(error);
        return false;
    }
    file_ = createNamelessFile(folder, error);
    if (file_ != nullptr) {
        return true;
    }
    std::string suffix = "-";
    suffix += tag;
    suffix += ".tmp";
    std::filesystem::path path;
    file_ = createUniqueFile(folder, "zelvio-", suffix, UniqueFileMode::ReadWriteTemporary, path,
                             error);
    if (file_ == nullptr) {
        errorText_ =
            "cannot create a scratch file in " + quotedPath(folder) + ": " + reasonText(error);
        return false;
    }
#ifdef _WIN32
    path_ = path;  // the system removes the file when it is closed; the name is removed then too
#else
    // The open stream keeps the file; only the name goes.
    std::filesystem::remove(path, error);
    if (error) {
        path_ = path;
    }
#endif
    return true;
}

bool ScratchFile::rewindForReading() {
    return file_ != nullptr && std::fflush(file_) == 0 && std::ferror(file_) == 0 &&
           std::fseek(file_, 0, SEEK_SET) == 0;
}

void ScratchFile::remove() {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
    if (!path_.empty()) {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
        path_.clear();
    }
}

}  // namespace zelvio
