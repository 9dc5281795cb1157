#pragma once
// Sample-rate conversion of a stream of 16-bit mono samples by bandlimited interpolation.
//
// The engine reads its input block by block into a 4096-sample working buffer that keeps enough
// history and look-ahead for the filter, runs the fixed-point kernels (resample/kernels.h) over
// each block, carries the time register from block to block and writes the output samples until
// the requested number have been written.
//
//     const double factor = 10000.0 / inputRate;
//     MemoryMonoSource input(samples);                  // or any MonoSource
//     MemoryMonoSink output;                            // or any MonoSink
//     const std::int64_t wanted = static_cast<std::int64_t>(frameCount * factor) + 1;
//     ResampleResult result = resampleFile(factor, input, output, frameCount, wanted,
//                                          {.filter = ResampleFilter::Designed});
//
// Output sample k lies on input position k x timeStep / 32768 (timeStep from timeStepFor) and is
// a pure function of the input: every position before the first input sample and every position
// at or after inputCount reads as 0, whatever the stream holds there. Block boundaries leave no
// trace in the output. For inputCount of 2 or more exactly maxOutputCount samples are written;
// for 0 or 1 input samples nothing is.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "resample/kernels.h"
#include "resample/lowpass_filter.h"

namespace zelvio {

/// Where the resampler's input comes from: a stream of signed 16-bit mono samples.
class MonoSource {
  public:
    virtual ~MonoSource() = default;
    /// Reads up to count samples into destination; returns how many were read (fewer, or 0, at
    /// the end of the input), or -1 when reading failed.
    [[nodiscard]] virtual std::int64_t read(std::int16_t* destination, std::size_t count) = 0;
};

/// Where the resampler's output goes: a stream of signed 16-bit mono samples.
class MonoSink {
  public:
    virtual ~MonoSink() = default;
    /// Writes count samples; returns false on failure.
    [[nodiscard]] virtual bool write(const std::int16_t* samples, std::size_t count) = 0;
};

/// Serves samples from memory that the caller keeps alive.
class MemoryMonoSource final : public MonoSource {
  public:
    explicit MemoryMonoSource(std::span<const std::int16_t> samples) : samples_(samples) {}
    [[nodiscard]] std::int64_t read(std::int16_t* destination, std::size_t count) override;

  private:
    std::span<const std::int16_t> samples_;
    std::size_t position_ = 0;
};

/// Collects the written samples in memory.
class MemoryMonoSink final : public MonoSink {
  public:
    [[nodiscard]] bool write(const std::int16_t* samples, std::size_t count) override;
    /// Everything written so far, in order.
    const std::vector<std::int16_t>& samples() const { return samples_; }

  private:
    std::vector<std::int16_t> samples_;
};

/// Outcome of a run; 0 is success.
using ResampleStatus = std::uint16_t;
/// The run wrote what was asked.
inline constexpr ResampleStatus kResampleOk = 0;
/// The source reported a failure.
inline constexpr ResampleStatus kResampleReadError = 1;
/// The sink reported a failure.
inline constexpr ResampleStatus kResampleWriteError = 2;
/// The factor is not a positive finite number, or needs a history of 2048 or more or a block of
/// 65536 outputs or more.
inline constexpr ResampleStatus kResampleUnsupportedFactor = 3;
/// The filter's tables are shorter than its wing, or the wing is wider than its tap count allows.
inline constexpr ResampleStatus kResampleBadFilter = 4;
/// A view given to the table-driven kernels does not hold every input sample the requested
/// outputs read (resample/fast_kernels.h).
inline constexpr ResampleStatus kResampleInputNotInView = 5;
/// A stream was told an output count below the outputs it had already given, or an end of input
/// it knew from the start (resample/fast_resampler.h).
inline constexpr ResampleStatus kResampleBadCount = 6;

/// A short English text for a status, e.g. "unsupported rate factor"; "unknown status" otherwise.
[[nodiscard]] const char* resampleStatusText(ResampleStatus status);

/// What a run did.
struct ResampleResult {
    ResampleStatus status;        ///< kResampleOk unless the run was refused or stopped
    std::int64_t samplesWritten;  ///< samples handed to the sink successfully
};

/// The working buffer: history, one block of input and look-ahead.
inline constexpr std::size_t kInputBufferLength = 4096;
/// The most samples one block may yield.
inline constexpr std::uint32_t kMaxBlockOutput = 65535;
/// Tap count of the filter that resampleFile designs.
inline constexpr std::uint16_t kDesignedTapCount = 65;

/// Values fixed at the start of a run.
struct RunValues {
    ResampleStatus status;         ///< kResampleOk, or kResampleUnsupportedFactor (fields then 0)
    std::uint16_t gain;            ///< the gain the kernels apply: lowered by the factor below 1
    std::uint16_t historyLength;   ///< samples kept before the current position and after a block
    std::uint16_t blockLength;     ///< input-sample intervals one full block covers
    std::uint32_t timeStep;        ///< time-register increment per output sample
    std::uint32_t maxBlockOutput;  ///< the most samples one block can yield, at most 65535
};

/// Works out the run values for a conversion factor (output rate / input rate) with a filter of
/// the given gain and tap count:
///   historyLength = trunc((tapCount + 1) x 0.5 x max(1, 1 / factor) + 10)
///   blockLength = 4096 - 2 x historyLength
///   gain = filterGain, or trunc(filterGain x factor + 0.5) for factors below 1.
/// Returns kResampleUnsupportedFactor when the factor is not a positive finite number, the
/// history would be 2048 or more, or one block could yield 65536 samples or more.
[[nodiscard]] RunValues computeRunValues(double factor, std::uint16_t filterGain,
                                         std::uint16_t tapCount);

/// The check a run makes up front: kResampleOk if a filter of tapCount taps can convert at this
/// factor, else kResampleUnsupportedFactor.
[[nodiscard]] ResampleStatus checkFactor(double factor, std::uint16_t tapCount = kDesignedTapCount);

/// True when a filter can drive the kernels: a wing of at least one entry, no wider than its tap
/// count allows ((tapCount - 1) x 128 entries), and tables at least as long as the wing.
[[nodiscard]] bool filterIsUsable(const LowpassFilter& filter);

/// The filter a run uses.
enum class ResampleFilter {
    Designed,      ///< designed at the start of the run: 65 taps, roll-off 0.97, beta 9.0
    LargeBuiltIn,  ///< largeBuiltInFilter(): 65 taps, roll-off 0.90
    SmallBuiltIn,  ///< smallBuiltInFilter(): 13 taps, roll-off 0.90
};

/// How a run resamples; the defaults are the conversion's.
struct ResampleSettings {
    ResampleFilter filter = ResampleFilter::Designed;     ///< where the filter comes from
    Interpolation interpolation = Interpolation::Linear;  ///< how the kernels read the table
};

/// The filter a run of resampleFile uses with these settings, its gain already lowered to 0.95 of
/// itself (see resampleFile): what resampleStream and ResamplePlan::build take to give the same
/// samples.
[[nodiscard]] LowpassFilter runFilterFor(ResampleFilter which);

/// Converts inputCount samples from input into maxOutputCount samples at factor x the input rate.
///   factor: output rate / input rate; 1 or more upsamples, below 1 downsamples.
///   input: read from its current position; only the first inputCount samples are input,
///       anything the source holds past them is never read. A source that ends early reads as
///       zeros.
///   output: written from its current position.
///   maxOutputCount: how many samples to write.
///   settings: the filter and how its table is read. A designed filter (gain 15892) falls back to
///       63, 61, ... taps should the design ever fail, and to the large built-in filter after that.
/// The filter's gain is lowered to 0.95 of itself (15097 for the designed filter, 14008 for the
/// large and 12471 for the small built-in one). Returns the status and the number of samples
/// written; nothing is read or written when the factor is refused.
[[nodiscard]] ResampleResult resampleFile(double factor, MonoSource& input, MonoSink& output,
                                          std::int64_t inputCount, std::int64_t maxOutputCount,
                                          const ResampleSettings& settings = {});

/// The engine behind resampleFile, for a filter chosen by the caller; filter.gain is used as it
/// is (before the lowering for factors below 1). Returns as resampleFile does.
[[nodiscard]] ResampleResult resampleStream(double factor, MonoSource& input, MonoSink& output,
                                            std::int64_t inputCount, std::int64_t maxOutputCount,
                                            const LowpassFilter& filter,
                                            Interpolation interpolation);

}  // namespace zelvio
