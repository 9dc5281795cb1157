#include "wave/input_file.h"

#include <algorithm>
#include <cerrno>
#include <limits>
#include <system_error>

#include "io/fault_injection.h"

namespace zelvio {

namespace fs = std::filesystem;

namespace {

// Offsets past 2 GiB need the 64-bit forms where long is 32 bits wide.
bool seekTo(std::FILE* stream, std::int64_t offset, int origin) {
#ifdef _WIN32
    return _fseeki64(stream, offset, origin) == 0;
#else
    static_assert(sizeof(off_t) >= 8, "64-bit file offsets are needed");
    return fseeko(stream, static_cast<off_t>(offset), origin) == 0;
#endif
}

std::int64_t tellOf(std::FILE* stream) {
#ifdef _WIN32
    return _ftelli64(stream);
#else
    return static_cast<std::int64_t>(ftello(stream));
#endif
}

std::FILE* openForReading(const fs::path& path) {
#ifdef _WIN32
    return _wfopen(path.c_str(), L"rb");
#else
    return std::fopen(path.c_str(), "rb");
#endif
}

}  // namespace

InputFile::~InputFile() {
    close();
}

void InputFile::close() {
    if (stream_ != nullptr && owned_) {
        std::fclose(stream_);
    }
    stream_ = nullptr;
    owned_ = false;
    elsewhere_ = false;
    size_ = 0;
    position_ = 0;
    failedReads_ = 0;
}

AudioStatus InputFile::fail(AudioStatus status, std::string text) {
    close();
    errorText_ = std::move(text);
    return status;
}

AudioStatus InputFile::open(const fs::path& path) {
    close();
    errorText_.clear();
    if (path.empty()) {
        return fail(kAudioUnsupported, "no input file was named");
    }
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (status.type() == fs::file_type::not_found) {
        return fail(kAudioBadFile, "cannot open file: no such file or directory");
    }
    if (error) {
        return fail(kAudioBadFile, "cannot open file: " + error.message());
    }
    if (status.type() == fs::file_type::directory) {
        return fail(kAudioBadFile, "cannot open file: it is a directory");
    }
    if (status.type() != fs::file_type::regular) {
        return fail(kAudioBadFile, "cannot open file: not a regular file");
    }
    const std::uintmax_t length = fs::file_size(path, error);
    if (error) {
        return fail(kAudioBadFile, "cannot open file: " + error.message());
    }
    errno = 0;
    std::FILE* stream = openForReading(path);
    if (stream == nullptr) {
        const int cause = errno;
        return fail(kAudioBadFile,
                    "cannot open file: " + (cause != 0 ? std::generic_category().message(cause)
                                                       : std::string("it cannot be read")));
    }
    stream_ = stream;
    owned_ = true;
    size_ = static_cast<std::int64_t>(
        std::min<std::uintmax_t>(length, std::numeric_limits<std::int64_t>::max()));
    position_ = 0;
    failedReads_ = 0;
    return kAudioOk;
}

AudioStatus InputFile::borrow(std::FILE* stream) {
    close();
    errorText_.clear();
    if (stream == nullptr) {
        return fail(kAudioUnsupported, "no input stream was given");
    }
    std::int64_t end = -1;
    if (seekTo(stream, 0, SEEK_END)) {
        end = tellOf(stream);
    }
    if (end < 0 || !seekTo(stream, 0, SEEK_SET)) {
        return fail(kAudioBadFile, "cannot read the input: it cannot seek");
    }
    stream_ = stream;
    owned_ = false;
    size_ = end;
    position_ = 0;
    failedReads_ = 0;
    return kAudioOk;
}

std::int64_t InputFile::read(void* destination, std::int64_t count) {
    if (stream_ == nullptr || count <= 0) {
        return 0;
    }
    if (std::error_code fault; injectedFault(FileOperation::Read, fault)) {
        ++failedReads_;
        return 0;
    }
    const std::size_t got = std::fread(destination, 1, static_cast<std::size_t>(count), stream_);
    if (got < static_cast<std::size_t>(count) && std::ferror(stream_) != 0) {
        ++failedReads_;
        std::clearerr(stream_);
    }
    position_ += static_cast<std::int64_t>(got);
    return static_cast<std::int64_t>(got);
}

bool InputFile::seek(std::int64_t offset) {
    if (stream_ == nullptr || offset < 0) {
        return false;
    }
    if (offset == position_) {
        return true;
    }
    std::clearerr(stream_);
    if (!seekTo(stream_, offset, SEEK_SET)) {
        return false;
    }
    position_ = offset;
    return true;
}

}  // namespace zelvio
