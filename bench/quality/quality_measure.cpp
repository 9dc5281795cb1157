#include "quality_measure.h"

#include <algorithm>
#include <cmath>

#include "job/stages.h"

namespace zelvio {
namespace {

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

RoundTripQuality compareWithReference(std::span<const std::int16_t> reference,
                                      std::span<const std::int16_t> decoded) {
    const std::size_t count = std::min(decoded.size(), reference.size());
    double signal = 0;
    double noise = 0;
    double segmentSum = 0;
    std::size_t segments = 0;
    for (std::size_t start = 0; start + kFrameSamples <= count; start += kFrameSamples) {
        double frameSignal = 0;
        double frameNoise = 0;
        for (std::size_t i = start; i < start + kFrameSamples; ++i) {
            const double x = reference[i];
            const double e = x - decoded[i];
            frameSignal += x * x;
            frameNoise += e * e;
        }
        signal += frameSignal;
        noise += frameNoise;
        segmentSum += std::clamp(snrDb(frameSignal, frameNoise), -10.0, 35.0);
        ++segments;
    }
    return {snrDb(signal, noise), segments == 0 ? 0.0 : segmentSum / static_cast<double>(segments),
            count};
}

bool readMonoSamples(const std::filesystem::path& path, std::vector<std::int16_t>& samples,
                     std::uint32_t& rate, std::string& error) {
    std::unique_ptr<AudioSource> input;
    if (const StageResult failed = openInput(path, input)) {
        error = failed->detail;
        return false;
    }
    rate = input->sampleRate();
    InputReader reader(*input, path);
    std::vector<std::int16_t> block;
    samples.clear();
    for (bool ended = false; !ended;) {
        if (const StageResult failed = reader.read(block, ended)) {
            error = failed->detail;
            return false;
        }
        samples.insert(samples.end(), block.begin(), block.end());
    }
    return true;
}

bool referenceAtStreamRate(const std::filesystem::path& path, std::vector<std::int16_t>& samples,
                           std::string& error) {
    std::vector<std::int16_t> mono;
    std::uint32_t rate = 0;
    if (!readMonoSamples(path, mono, rate, error)) {
        return false;
    }
    RateConverter converter;
    samples.clear();
    StageResult failed = converter.start(std::ssize(mono), rate, nullptr);
    if (!failed) {
        failed = converter.push(mono, samples);
    }
    if (!failed) {
        failed = converter.finish(samples);
    }
    if (failed) {
        error = failed->detail;
        return false;
    }
    return true;
}

}  // namespace zelvio
