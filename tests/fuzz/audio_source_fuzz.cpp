// Feeds arbitrary bytes to the input seam as a file: openAudioSource picks a reader by content
// (our WAVE reader, libsndfile, FFmpeg), and the source is read to its end. An input that does
// not state its length is then opened again with LengthRule::Counted, which must count exactly
// what the first reading delivered, or fail as it did.
#include <unistd.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "wave/audio_source.h"

namespace {

// One file per fuzzing process, rewritten for every input and removed at exit.
struct InputFile {
    InputFile()
        : path(std::filesystem::temp_directory_path() /
               ("zelvio-audio-fuzz-" + std::to_string(::getpid()))) {}
    ~InputFile() {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    }
    std::filesystem::path path;
};

// Reads source to its end; true when it ended cleanly.
bool readToEnd(zelvio::AudioSource& source) {
    std::array<zelvio::SampleFrame, 1021> block{};
    while (source.readSamples(static_cast<std::int64_t>(block.size()), block.data()) ==
           zelvio::kAudioOk) {
    }
    // Every stop is the end, or a failure with a reason of its own.
    const bool atEnd = source.errorText() == zelvio::kEndOfSamplesText;
    if (source.endReached() != atEnd || source.errorText().empty()) {
        __builtin_trap();
    }
    return source.endReached();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const InputFile input;
    std::FILE* file = std::fopen(input.path.c_str(), "wb");
    if (file == nullptr || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0) {
        __builtin_trap();  // the fuzzer's own file must be writable
    }
    zelvio::OpenedAudio opened = zelvio::openAudioSource(input.path);
    if (opened.status != zelvio::kAudioOk) {
        if (opened.source != nullptr || opened.errorText.empty()) {
            __builtin_trap();
        }
        return 0;
    }
    zelvio::AudioSource& source = *opened.source;
    if (source.channels() < 1 || source.channels() > 2) {
        __builtin_trap();
    }
    const std::int64_t stated = source.sampleFrameCount();
    const bool ended = readToEnd(source);
    const std::int64_t delivered = source.framesDelivered();
    if (stated != zelvio::kUnknownFrameCount) {
        if (delivered > stated || (ended && delivered != stated)) {
            __builtin_trap();
        }
        return 0;
    }
    const zelvio::OpenedAudio counted =
        zelvio::openAudioSource(input.path, zelvio::LengthRule::Counted);
    const bool countable = ended && delivered > 0;
    if ((counted.status == zelvio::kAudioOk) != countable ||
        (countable && counted.source->sampleFrameCount() != delivered)) {
        __builtin_trap();
    }
    return 0;
}
