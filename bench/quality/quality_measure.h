#pragma once
// Round-trip quality: how close a decoded database comes to the input taken to 10000 Hz mono the
// way the converter takes it (the job's own staging and resampling stages). Used by quality_snr
// (bench/quality/run) and by the test that holds the README's quality table.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace zelvio {

/// What compareWithReference measured.
struct RoundTripQuality {
    double snrDb = 0;           ///< signal-to-noise ratio over the compared samples
    double segmentalSnrDb = 0;  ///< the mean of the per-Frame SNRs, each held to -10..35 dB
    std::size_t samplesCompared = 0;
};

/// Compares decoded with reference over whole 200-sample Frames of the shorter of the two. The
/// SNR of identical signals reads 200 dB, of a silent reference -200 dB.
[[nodiscard]] RoundTripQuality compareWithReference(std::span<const std::int16_t> reference,
                                                    std::span<const std::int16_t> decoded);

/// The input file at path as the converter takes it: mixed to mono, then resampled to 10000 Hz
/// with the designed filter (all of the resampler's output, the partial last Frame included).
/// False, with error set, when the file cannot be read.
[[nodiscard]] bool referenceAtStreamRate(const std::filesystem::path& path,
                                         std::vector<std::int16_t>& samples, std::string& error);

/// The samples of a file as mono, at the rate it states (stored in rate). False, with error set,
/// when the file cannot be read.
[[nodiscard]] bool readMonoSamples(const std::filesystem::path& path,
                                   std::vector<std::int16_t>& samples, std::uint32_t& rate,
                                   std::string& error);

}  // namespace zelvio
