// End-to-end conversion of long 44.1 kHz stereo recordings.
//
//   build/bench/job/conversion_bench
//
// BM_Convert reports seconds of work per hour of input audio. BM_PeakMemory runs each
// conversion in a child process and reports that process's peak resident memory, so that 1 and
// 10 minutes of input can be compared: memory must not grow with length beyond the database image.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "job/conversion_job.h"
#include "support/wave_builder.h"

namespace {

namespace fs = std::filesystem;

using zelvio::test_support::appendId;
using zelvio::test_support::appendLe16;
using zelvio::test_support::appendLe32;

// A 44.1 kHz stereo 16-bit file of the given length: tones that come and go, with pauses, so
// that detection finds silence now and then. Made once per length and kept for the run.
const fs::path& inputOfMinutes(int minutes) {
    static std::map<int, fs::path> made;
    auto found = made.find(minutes);
    if (found != made.end()) {
        return found->second;
    }
    const fs::path path =
        fs::temp_directory_path() / ("zelvio-bench-" + std::to_string(minutes) + "min.wav");
    constexpr std::uint32_t kRate = 44100;
    const std::uint32_t frames = static_cast<std::uint32_t>(minutes) * 60 * kRate;
    // The canonical 44-byte header, then the samples as they are made.
    std::vector<std::uint8_t> header;
    appendId(header, "RIFF");
    appendLe32(header, 36 + frames * 4);
    appendId(header, "WAVE");
    appendId(header, "fmt ");
    const auto format = zelvio::test_support::formatBody({.channels = 2, .sampleRate = kRate});
    appendLe32(header, static_cast<std::uint32_t>(format.size()));
    header.insert(header.end(), format.begin(), format.end());
    appendId(header, "data");
    appendLe32(header, frames * 4);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    std::fwrite(header.data(), 1, header.size(), file);
    std::vector<std::uint8_t> block;
    std::uint32_t noise = 12345;
    for (std::uint32_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double envelope = std::fmod(t, 3.0) < 2.2 ? 1.0 : 0.0;  // 0.8 s pauses
        noise = noise * 1664525u + 1013904223u;
        const double value = envelope * (6000.0 * std::sin(2 * M_PI * 220.0 * t) +
                                         2500.0 * std::sin(2 * M_PI * 1330.0 * t)) +
                             static_cast<double>(static_cast<std::int32_t>(noise >> 22) - 512);
        const auto sample = static_cast<std::uint16_t>(static_cast<std::int16_t>(value));
        appendLe16(block, sample);
        appendLe16(block, sample);
        if (block.size() >= 1 << 16) {
            std::fwrite(block.data(), 1, block.size(), file);
            block.clear();
        }
    }
    std::fwrite(block.data(), 1, block.size(), file);
    std::fclose(file);
    return made.emplace(minutes, path).first->second;
}

zelvio::ConversionOutcome convert(const fs::path& input, int bits) {
    zelvio::ConversionSettings settings;
    settings.inputPath = input;
    settings.databasePath = fs::temp_directory_path() / "zelvio-bench-out.pdb";
    settings.bitsPerSample = bits;
    settings.voiceActivityDetection = true;
    return zelvio::ConversionJob(settings).run();
}

void BM_Convert(benchmark::State& state) {
    const int minutes = static_cast<int>(state.range(0));
    const int bits = static_cast<int>(state.range(1));
    const fs::path& input = inputOfMinutes(minutes);
    for (auto _ : state) {
        const auto started = std::chrono::steady_clock::now();
        if (convert(input, bits).failed()) {
            state.SkipWithError("conversion failed");
            return;
        }
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
        state.SetIterationTime(took.count());
        state.counters["s_per_hour_of_audio"] = took.count() * 60.0 / minutes;
    }
}
BENCHMARK(BM_Convert)
    ->Args({10, 4})
    ->Args({10, 8})
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

void BM_PeakMemory(benchmark::State& state) {
    const int minutes = static_cast<int>(state.range(0));
    const fs::path& input = inputOfMinutes(minutes);
    for (auto _ : state) {
        const pid_t child = fork();
        if (child == 0) {
            _exit(convert(input, 8).failed() ? 1 : 0);
        }
        int status = 0;
        rusage usage{};
        wait4(child, &status, 0, &usage);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("conversion failed");
            return;
        }
        state.counters["peak_rss_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
    }
}
BENCHMARK(BM_PeakMemory)->Arg(1)->Arg(10)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
