// Feeds arbitrary bytes to the WAVE reader as a file: open, then readSamples to the end.
#include <unistd.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "wave/wave_file.h"

namespace {

// One file per fuzzing process, rewritten for every input and removed at exit.
struct InputFile {
    InputFile()
        : path(std::filesystem::temp_directory_path() /
               ("zelvio-wave-fuzz-" + std::to_string(::getpid()) + ".wav")) {}
    ~InputFile() {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    }
    std::filesystem::path path;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const InputFile input;
    std::FILE* file = std::fopen(input.path.c_str(), "wb");
    if (file == nullptr || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0) {
        __builtin_trap();  // the fuzzer's own file must be writable
    }
    zelvio::WaveFile wave;
    if (wave.open(input.path) != zelvio::kWaveOk) {
        return 0;
    }
    // Odd block lengths, so that reads end in the middle of the reader's own buffer too.
    std::array<zelvio::SampleFrame, 1021> block{};
    std::int64_t delivered = 0;
    while (wave.readSamples(static_cast<std::int64_t>(block.size()), block.data()) ==
           zelvio::kWaveOk) {
        delivered += static_cast<std::int64_t>(block.size());
    }
    if (delivered > wave.sampleFrameCount()) {
        __builtin_trap();
    }
    (void)wave.close();
    return 0;
}
