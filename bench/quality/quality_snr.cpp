// quality_snr ORIGINAL.wav DECODED.wav
//
// Prints "<snr dB> <segmental snr dB> <samples compared>" for a decoded database against the
// original taken to 10000 Hz mono the way the converter takes it: stereo mixed to the floor of the
// mean, then resampled by our engine with the designed filter. The decoded file is 16-bit mono at
// 10000 Hz and holds whole Frames, so it may stop up to 199 samples short of the reference; the
// comparison covers the decoded length.
//
// Segmental SNR is the mean over 200-sample Frames of each Frame's SNR, each held to -10..35 dB
// (the usual limits, so that silent Frames neither dominate nor vanish).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "pdb/stream_format.h"
#include "resample/resampler.h"
#include "wave/wave_file.h"

namespace {

bool readMono(const char* path, std::vector<std::int16_t>& samples, std::uint32_t& rate) {
    zelvio::WaveFile wave;
    if (wave.open(path) != zelvio::kWaveOk) {
        std::fprintf(stderr, "quality_snr: %s: %s\n", path, std::string(wave.errorText()).c_str());
        return false;
    }
    rate = wave.sampleRate();
    std::vector<zelvio::SampleFrame> frames(static_cast<std::size_t>(wave.sampleFrameCount()));
    if (!frames.empty() && wave.readSamples(static_cast<std::int64_t>(frames.size()),
                                            frames.data()) != zelvio::kWaveOk) {
        std::fprintf(stderr, "quality_snr: %s: cannot read the samples\n", path);
        return false;
    }
    const bool stereo = wave.channels() == 2;
    samples.clear();
    for (const zelvio::SampleFrame& frame : frames) {
        samples.push_back(stereo ? static_cast<std::int16_t>((frame.left + frame.right) >> 1)
                                 : frame.left);
    }
    return true;
}

double snrDb(double signal, double noise) {
    if (noise <= 0) {
        return 200.0;  // identical
    }
    if (signal <= 0) {
        return -200.0;
    }
    return 10.0 * std::log10(signal / noise);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: quality_snr ORIGINAL.wav DECODED.wav\n");
        return 2;
    }
    std::vector<std::int16_t> original;
    std::vector<std::int16_t> decoded;
    std::uint32_t originalRate = 0;
    std::uint32_t decodedRate = 0;
    if (!readMono(argv[1], original, originalRate) || !readMono(argv[2], decoded, decodedRate)) {
        return 1;
    }
    if (decodedRate != zelvio::kStreamSampleRate) {
        std::fprintf(stderr, "quality_snr: %s is at %u Hz, not 10000 Hz\n", argv[2], decodedRate);
        return 1;
    }
    const double factor = 10000.0 / originalRate;
    const auto outputCount =
        static_cast<std::int64_t>(static_cast<double>(original.size()) * factor) + 1;
    zelvio::MemoryMonoSource source(original);
    zelvio::MemoryMonoSink reference;
    const zelvio::ResampleResult result = zelvio::resampleFile(
        factor, source, reference, static_cast<std::int64_t>(original.size()), outputCount);
    if (result.status != zelvio::kResampleOk) {
        std::fprintf(stderr, "quality_snr: %s\n", zelvio::resampleStatusText(result.status));
        return 1;
    }
    const std::size_t count = std::min(decoded.size(), reference.samples().size());
    double signal = 0;
    double noise = 0;
    double segmentSum = 0;
    std::size_t segments = 0;
    for (std::size_t start = 0; start + 200 <= count; start += 200) {
        double frameSignal = 0;
        double frameNoise = 0;
        for (std::size_t i = start; i < start + 200; ++i) {
            const double x = reference.samples()[i];
            const double e = x - decoded[i];
            frameSignal += x * x;
            frameNoise += e * e;
        }
        signal += frameSignal;
        noise += frameNoise;
        segmentSum += std::clamp(snrDb(frameSignal, frameNoise), -10.0, 35.0);
        ++segments;
    }
    std::printf("%.2f %.2f %zu\n", snrDb(signal, noise),
                segments == 0 ? 0.0 : segmentSum / static_cast<double>(segments), count);
    return 0;
}
