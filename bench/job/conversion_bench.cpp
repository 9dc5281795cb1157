// End-to-end conversion through the library: speed, peak memory of long inputs in every mode and
// at the extreme input rates, and what a database that fills up early costs.
//
//   build/bench/job/conversion_bench [--benchmark_filter=Memory]
//
// Inputs are the deterministic tone-and-pause signal of tests/support/generated_source.h: WAVE
// files made once in the temporary folder (kept for later runs: 2 hours of 44.1 kHz stereo take
// 1.3 GB) where a file is affordable, else generated on the fly (617575 Hz: 2 hours would take
// 8.9 GB). Counters:
//
//   BM_Convert/<minutes>/<bits>/<threads>   44.1 kHz stereo WAVE, with detection; threads 0 = all
//       s_per_hour_of_audio: wall seconds per hour of input
//   BM_PeakMemory/<case>                    a 2-hour input converted in a child process
//       peak_rss_MiB: the child's peak resident memory (getrusage of the child, which also counts
//       the pages it shares with this program at the fork: see BM_PeakMemory/baseline);
//       frames_coded and frames_total: how much of the input the database took
//   BM_CutDatabase/<minutes>                8-bit, no detection, 44.1 kHz stereo WAVE: 120 minutes
//       fill the database at 21:05 and are cut there; 21 minutes fit whole. The two take about the
//       same time, because the reading stops once the database is full.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "job/conversion_job.h"
#include "pdb/stream_format.h"
#include "support/generated_source.h"
#include "support/wave_builder.h"

namespace {

namespace fs = std::filesystem;

using zelvio::test_support::GeneratedSource;

constexpr std::int64_t kTwoHours = 2 * 3600;

// A 16-bit PCM WAVE file of the generated signal, made once per shape and kept.
fs::path waveOf(std::uint32_t rate, std::uint16_t channels, std::int64_t seconds) {
    const fs::path path = fs::temp_directory_path() /
                          ("zelvio-bench-" + std::to_string(rate) + "-" + std::to_string(channels) +
                           "ch-" + std::to_string(seconds) + "s.wav");
    const std::int64_t frames = std::int64_t{rate} * seconds;
    const std::uint64_t dataBytes = static_cast<std::uint64_t>(frames) * channels * 2;
    std::error_code error;
    if (fs::file_size(path, error) == dataBytes + 44) {
        return path;
    }
    zelvio::test_support::Bytes header =
        zelvio::test_support::canonicalWave({.channels = channels, .sampleRate = rate}, {});
    header.resize(header.size() - 4);  // the data size, written below
    zelvio::test_support::appendLe32(header, static_cast<std::uint32_t>(dataBytes));
    const auto riff = static_cast<std::uint32_t>(dataBytes + 36);
    for (int i = 0; i < 4; ++i) {
        header[4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(riff >> (8 * i));
    }
    const fs::path partial = fs::path(path).concat(".part");
    std::FILE* file = std::fopen(partial.c_str(), "wb");
    if (file == nullptr) {
        return {};
    }
    std::fwrite(header.data(), 1, header.size(), file);
    GeneratedSource source({.rate = rate, .channels = channels, .frames = frames});
    std::vector<zelvio::SampleFrame> block(1 << 16);
    zelvio::test_support::Bytes bytes;
    for (std::int64_t done = 0; done < frames;) {
        const std::int64_t count = std::min<std::int64_t>(std::ssize(block), frames - done);
        static_cast<void>(source.readSamples(count, block.data()));
        bytes.clear();
        for (std::int64_t i = 0; i < count; ++i) {
            zelvio::test_support::appendLe16(bytes, static_cast<std::uint16_t>(block[i].left));
            if (channels == 2) {
                zelvio::test_support::appendLe16(bytes, static_cast<std::uint16_t>(block[i].right));
            }
        }
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        done += count;
    }
    if (std::fclose(file) != 0) {
        return {};
    }
    fs::rename(partial, path, error);
    return error ? fs::path() : path;
}

struct Run {
    fs::path wave;                          // a WAVE file, or
    GeneratedSource::Shape generated = {};  // a generated input when wave is empty
    int bits = 8;
    bool vad = false;
    unsigned threads = 0;
};

zelvio::ConversionOutcome convert(const Run& run) {
    zelvio::ConversionSettings settings;
    settings.inputPath = run.wave.empty() ? fs::path("generated.wav") : run.wave;
    settings.databasePath =
        fs::temp_directory_path() / ("zelvio-bench-out-" + std::to_string(::getpid()) + ".pdb");
    settings.bitsPerSample = run.bits;
    settings.voiceActivityDetection = run.vad;
    settings.threads = run.threads;
    zelvio::ConversionJob job(settings);
    if (run.wave.empty()) {
        job.readInputFrom(std::make_unique<GeneratedSource>(run.generated));
    }
    zelvio::ConversionOutcome outcome = job.run();
    fs::remove(settings.databasePath);
    return outcome;
}

void BM_Convert(benchmark::State& state) {
    const auto minutes = static_cast<int>(state.range(0));
    Run run{.wave = waveOf(44100, 2, minutes * 60),
            .bits = static_cast<int>(state.range(1)),
            .vad = true,
            .threads = static_cast<unsigned>(state.range(2))};
    if (run.wave.empty()) {
        state.SkipWithError("cannot write the input");
        return;
    }
    for (auto _ : state) {
        const auto started = std::chrono::steady_clock::now();
        if (convert(run).failed()) {
            state.SkipWithError("conversion failed");
            return;
        }
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
        state.SetIterationTime(took.count());
        state.counters["s_per_hour_of_audio"] = took.count() * 60.0 / minutes;
    }
}
BENCHMARK(BM_Convert)
    ->ArgNames({"minutes", "bits", "threads"})
    ->Args({10, 4, 0})
    ->Args({10, 4, 1})
    ->Args({10, 8, 0})
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

// The memory cases: every mode (8 bits fills the database with the largest image, 12.7 MB) at
// the common rates from files and at the extreme rates generated.
struct MemoryCase {
    const char* name;
    std::uint32_t rate;
    std::uint16_t channels;
    bool file;
    int bits;
    bool vad;
};
constexpr MemoryCase kMemoryCases[] = {
    {"baseline: empty input", 8000, 1, false, 8, false},
    {"44100 Hz stereo file, 8-bit", 44100, 2, true, 8, false},
    {"44100 Hz stereo file, 4-bit VAD", 44100, 2, true, 4, true},
    {"8000 Hz mono file, 8-bit", 8000, 1, true, 8, false},
    {"8000 Hz mono file, 4-bit VAD", 8000, 1, true, 4, true},
    {"617575 Hz stereo generated, 8-bit", 617575, 2, false, 8, false},
    {"617575 Hz stereo generated, 4-bit VAD", 617575, 2, false, 4, true},
    {"613 Hz mono generated, 8-bit", 613, 1, false, 8, false},
};

void BM_PeakMemory(benchmark::State& state) {
    const MemoryCase& c = kMemoryCases[state.range(0)];
    state.SetLabel(c.name);
    const bool empty = state.range(0) == 0;
    Run run;
    run.bits = c.bits;
    run.vad = c.vad;
    if (c.file) {
        run.wave = waveOf(c.rate, c.channels, kTwoHours);
        if (run.wave.empty()) {
            state.SkipWithError("cannot write the input");
            return;
        }
    } else {
        run.generated = {.rate = c.rate,
                         .channels = c.channels,
                         .frames = empty ? 0 : std::int64_t{c.rate} * kTwoHours};
    }
    for (auto _ : state) {
        // The child reports what it coded through a pipe; its exit status says whether it failed.
        int channel[2];
        if (::pipe(channel) != 0) {
            state.SkipWithError("no pipe");
            return;
        }
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(channel[0]);
            const zelvio::ConversionOutcome outcome = convert(run);
            const std::int64_t counts[2] = {outcome.framesCoded, outcome.framesTotal};
            const bool written = ::write(channel[1], counts, sizeof counts) == sizeof counts;
            ::_exit(outcome.failed() || !written ? 1 : 0);
        }
        ::close(channel[1]);
        std::int64_t counts[2] = {0, 0};
        const bool read = ::read(channel[0], counts, sizeof counts) == sizeof counts;
        ::close(channel[0]);
        int status = 0;
        rusage usage{};
        ::wait4(child, &status, 0, &usage);
        if (!read || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("conversion failed");
            return;
        }
        state.counters["peak_rss_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
        state.counters["frames_coded"] = static_cast<double>(counts[0]);
        state.counters["frames_total"] = static_cast<double>(counts[1]);
    }
}
BENCHMARK(BM_PeakMemory)
    ->DenseRange(0, std::ssize(kMemoryCases) - 1)
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

void BM_CutDatabase(benchmark::State& state) {
    const auto minutes = static_cast<int>(state.range(0));
    const Run run{.wave = waveOf(44100, 2, minutes * 60), .bits = 8, .vad = false};
    if (run.wave.empty()) {
        state.SkipWithError("cannot write the input");
        return;
    }
    for (auto _ : state) {
        const auto started = std::chrono::steady_clock::now();
        const zelvio::ConversionOutcome outcome = convert(run);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
        if (outcome.failed()) {
            state.SkipWithError("conversion failed");
            return;
        }
        state.SetIterationTime(took.count());
        state.counters["audio_saved_min"] =
            static_cast<double>(outcome.framesCoded) * zelvio::kFrameMs / 60000.0;
        state.counters["cut"] = outcome.kind == zelvio::OutcomeKind::DatabaseFull ? 1 : 0;
    }
}
BENCHMARK(BM_CutDatabase)
    ->ArgName("minutes")
    ->Arg(21)
    ->Arg(120)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

}  // namespace
