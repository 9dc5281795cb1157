// Soak: many conversions of mixed inputs in one process through the library API, with the
// resident memory after each, to show that nothing leaks or grows run after run.
//
//   build/bench/job/soak_conversions [COUNT]     # 1000 unless given
//
// The inputs are WAVE files made here (mono and stereo, 8000 to 48000 Hz, 8- to 32-bit, float,
// 0.5 to 6 s), converted in every mode with and without detection, alternately to a database
// file and to memory; a run in ten is stopped part-way through. It prints RSS after the first
// conversion, after 10, and at every power-of-two count and the end, and exits 1 when RSS grew
// more than 1 MiB past its size once every combination of input, mode and thread count has run
// (168 runs; after 10 for shorter soaks): the first run of each combination may raise the
// allocator's high-water mark (a thread's own malloc arena, a larger resampling plan) once. Run it
// under valgrind with a small COUNT:
//   valgrind --leak-check=full --error-exitcode=1 build/bench/job/soak_conversions 20
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "job/conversion_job.h"
#include "pdb/byte_sink.h"

namespace {

namespace fs = std::filesystem;

/// Resident memory in KiB, from /proc.
long residentKib() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::atol(line.c_str() + 6);
        }
    }
    return -1;
}

void put16(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}
void put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

struct InputKind {
    std::uint32_t rate;
    std::uint16_t channels;
    std::uint16_t bits;
    bool floating;
    double seconds;
};

/// A WAVE file of a chirp with pauses, in the given format.
std::vector<std::uint8_t> waveFile(const InputKind& kind) {
    const auto frames = static_cast<std::uint32_t>(kind.rate * kind.seconds);
    const std::uint32_t blockAlign = kind.channels * kind.bits / 8u;
    std::vector<std::uint8_t> out;
    const std::uint32_t dataBytes = frames * blockAlign;
    out.insert(out.end(), {'R', 'I', 'F', 'F'});
    put32(out, 36 + dataBytes);
    out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put32(out, 16);
    put16(out, kind.floating ? 3 : 1);
    put16(out, kind.channels);
    put32(out, kind.rate);
    put32(out, kind.rate * blockAlign);
    put16(out, blockAlign);
    put16(out, kind.bits);
    out.insert(out.end(), {'d', 'a', 't', 'a'});
    put32(out, dataBytes);
    for (std::uint32_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / kind.rate;
        const bool pause = std::fmod(t, 1.0) > 0.7;
        const double x = pause ? 0.0 : 0.6 * std::sin(2 * M_PI * (200 + 300 * t) * t);
        for (std::uint16_t c = 0; c < kind.channels; ++c) {
            if (kind.floating) {
                float f = static_cast<float>(x);
                std::uint32_t bits = 0;
                static_assert(sizeof bits == sizeof f);
                std::memcpy(&bits, &f, sizeof f);
                put32(out, bits);
            } else if (kind.bits == 8) {
                out.push_back(static_cast<std::uint8_t>(128 + std::lround(x * 127)));
            } else {
                const auto v = static_cast<std::int64_t>(std::lround(x * 32767))
                               << (kind.bits - 16);
                for (int b = 0; b < kind.bits / 8; ++b) {
                    out.push_back(static_cast<std::uint8_t>(v >> (8 * b)));
                }
            }
        }
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    const long count = argc > 1 ? std::atol(argv[1]) : 1000;
    const InputKind kinds[] = {
        {8000, 1, 16, false, 2.0},  {44100, 2, 16, false, 1.5}, {48000, 2, 24, false, 1.0},
        {22050, 1, 8, false, 3.0},  {16000, 2, 32, true, 1.0},  {11025, 1, 16, false, 6.0},
        {32000, 1, 32, false, 0.5},
    };
    const fs::path folder =
        fs::temp_directory_path() / ("zelvio-soak-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    std::vector<fs::path> inputs;
    for (std::size_t i = 0; i < std::size(kinds); ++i) {
        inputs.push_back(folder / ("in" + std::to_string(i) + ".wav"));
        const std::vector<std::uint8_t> bytes = waveFile(kinds[i]);
        std::ofstream(inputs.back(), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    constexpr int kBits[] = {8, 4, 3, 2};
    // 7 inputs x 8 modes x 3 thread counts repeat every 168 runs.
    const long warmUp = count >= 168 ? 168 : 10;
    long afterWarmUp = 0;
    long peak = 0;
    int failures = 0;
    std::printf("%10s %12s\n", "runs", "RSS (KiB)");
    for (long run = 1; run <= count; ++run) {
        zelvio::ConversionSettings settings;
        settings.inputPath = inputs[static_cast<std::size_t>(run) % inputs.size()];
        settings.databasePath = folder / "out.pdb";
        settings.bitsPerSample = kBits[run % 4];
        settings.voiceActivityDetection = (run / 4) % 2 == 1;
        settings.threads = run % 3 == 0 ? 1 : 0;
        zelvio::StopToken stop;
        settings.stop = &stop;
        const bool stopped = run % 10 == 5;
        long frames = 0;
        zelvio::ConversionJob job(settings, [&](double) {
            if (stopped && ++frames == 3) {
                stop.request();
            }
        });
        zelvio::MemoryByteSink image;
        if (run % 2 == 0) {
            job.writeDatabaseTo(image);
        }
        const zelvio::ConversionOutcome outcome = job.run();
        if (outcome.failed() && !(stopped && outcome.kind == zelvio::OutcomeKind::Cancelled)) {
            ++failures;
            std::fprintf(stderr, "run %ld: %s %s\n", run, outcome.message.c_str(),
                         outcome.detail.c_str());
        }
        const long rss = residentKib();
        peak = std::max(peak, rss);
        if (run == warmUp) {
            afterWarmUp = rss;
        }
        if (run == 1 || run == 10 || run == warmUp || (run & (run - 1)) == 0 || run == count) {
            std::printf("%10ld %12ld\n", run, rss);
            std::fflush(stdout);
        }
    }
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    const long growth = count >= warmUp ? residentKib() - afterWarmUp : 0;
    std::printf("growth after the first %ld runs: %ld KiB (peak %ld KiB), %d failed runs\n", warmUp,
                growth, peak, failures);
    return failures == 0 && growth <= 1024 ? 0 : 1;
}
