// The one function the reader module (zelvio-formats.so) exports: openWithFormatReaders() for
// a program that loaded it with openThroughFormatModule().

#include <type_traits>

#include "wave/format_readers.h"

extern "C" __attribute__((visibility("default"))) int zelvio_open_with_format_readers(
    int interface, const std::shared_ptr<zelvio::InputFile>* file, bool oggOrMpeg,
    zelvio::OpenedAudio* opened) {
    if (interface != zelvio::kFormatModuleInterface || file == nullptr || opened == nullptr) {
        return 0;
    }
    *opened = zelvio::openWithFormatReaders(*file, oggOrMpeg);
    return 1;
}

static_assert(
    std::is_same_v<decltype(&zelvio_open_with_format_readers), zelvio::FormatModuleEntry>);
