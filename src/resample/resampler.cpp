#include "resample/resampler.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "resample/kernels.h"

namespace zelvio {

namespace {

constexpr double kDesignRollOff = 0.97;
constexpr double kDesignBeta = 9.0;
constexpr double kRunGainFactor = 0.95;

// The working buffer and the count of samples asked of the source so far: the state of one run's
// input side.
class InputWindow {
  public:
    struct ReadResult {
        ResampleStatus status;
        // Buffer index of input sample inputCount - 1 once the end has been read, else 0.
        std::int64_t lastIndex;
    };

    InputWindow(MonoSource& source, std::int64_t inputCount)
        : source_(source), inputCount_(inputCount) {}

    std::int16_t* data() { return buffer_.data(); }
    std::span<const std::int16_t> samples() const { return buffer_; }

    // Fills buffer positions position to 4095 with the next input samples. Positions past the
    // last input sample (including any the source failed to deliver) become 0, so no stale or
    // out-of-range value can reach a filter sum.
    ReadResult readData(std::size_t position) {
        const std::size_t wanted = kInputBufferLength - position;
        const std::int64_t remaining = std::max<std::int64_t>(inputCount_ - samplesRequested_, 0);
        const auto inputInWindow =
            static_cast<std::size_t>(std::min(remaining, static_cast<std::int64_t>(wanted)));

        std::size_t got = 0;
        while (got < inputInWindow) {
            const std::int64_t n =
                source_.read(buffer_.data() + position + got, inputInWindow - got);
            if (n < 0) {
                return {kResampleReadError, 0};
            }
            if (n == 0) {
                break;
            }
            got += static_cast<std::size_t>(
                std::min<std::int64_t>(n, static_cast<std::int64_t>(inputInWindow - got)));
        }
        std::fill(buffer_.begin() + static_cast<std::ptrdiff_t>(position + got), buffer_.end(), 0);

        samplesRequested_ += static_cast<std::int64_t>(wanted);
        if (samplesRequested_ < inputCount_) {
            return {kResampleOk, 0};
        }
        return {kResampleOk, static_cast<std::int64_t>(wanted) - (samplesRequested_ - inputCount_) +
                                 static_cast<std::int64_t>(position) - 1};
    }

    // Drops the oldest `shift` samples; the freed tail reads as 0 until the next read fills it.
    void shift(std::size_t shift) {
        std::memmove(buffer_.data(), buffer_.data() + shift,
                     (kInputBufferLength - shift) * sizeof(std::int16_t));
        std::fill(buffer_.end() - static_cast<std::ptrdiff_t>(shift), buffer_.end(), 0);
    }

  private:
    MonoSource& source_;
    std::int64_t inputCount_;
    std::int64_t samplesRequested_ = 0;
    std::vector<std::int16_t> buffer_ = std::vector<std::int16_t>(kInputBufferLength, 0);
};

}  // namespace

bool filterIsUsable(const LowpassFilter& filter) {
    // The history is sized from the tap count, the kernels' reach from the wing length.
    return filter.wingLength >= 1 && filter.tapCount >= 1 &&
           filter.wingLength <= (filter.tapCount - 1) * 128 &&
           filter.coefficients.size() >= filter.wingLength &&
           filter.differences.size() >= filter.wingLength;
}

std::int64_t MemoryMonoSource::read(std::int16_t* destination, std::size_t count) {
    const std::size_t n = std::min(count, samples_.size() - position_);
    std::copy_n(samples_.begin() + static_cast<std::ptrdiff_t>(position_), n, destination);
    position_ += n;
    return static_cast<std::int64_t>(n);
}

bool MemoryMonoSink::write(const std::int16_t* samples, std::size_t count) {
    samples_.insert(samples_.end(), samples, samples + count);
    return true;
}

const char* resampleStatusText(ResampleStatus status) {
    switch (status) {
        case kResampleOk:
            return "no error";
        case kResampleReadError:
            return "input samples could not be read";
        case kResampleWriteError:
            return "output samples could not be written";
        case kResampleUnsupportedFactor:
            return "unsupported rate factor";
        case kResampleBadFilter:
            return "unusable filter tables";
        case kResampleInputNotInView:
            return "input samples outside the view";
        case kResampleBadCount:
            return "output count below the outputs already given";
        default:
            return "unknown status";
    }
}

RunValues computeRunValues(double factor, std::uint16_t filterGain, std::uint16_t tapCount) {
    constexpr RunValues kRefused{kResampleUnsupportedFactor, 0, 0, 0, 0, 0};
    if (!(factor > 0.0) || !std::isfinite(factor)) {
        return kRefused;
    }
    const double history = (tapCount + 1) * 0.5 * std::max(1.0, 1.0 / factor) + 10.0;
    // Below 2048 the block between the history and the look-ahead keeps at least one interval.
    if (!(history < 2048.0)) {
        return kRefused;
    }
    RunValues run{};
    run.historyLength = static_cast<std::uint16_t>(history);
    run.blockLength = static_cast<std::uint16_t>(kInputBufferLength - 2u * run.historyLength);
    run.timeStep = timeStepFor(factor);
    if (run.timeStep == 0) {
        return kRefused;
    }
    // A block covers blockLength x 32768 of time; starting at phase 0 it yields the most samples.
    const std::uint64_t span = static_cast<std::uint64_t>(run.blockLength) * kTimeOneSample;
    const std::uint64_t mostOutputs = (span + run.timeStep - 1) / run.timeStep;
    if (mostOutputs > kMaxBlockOutput) {
        return kRefused;
    }
    run.maxBlockOutput = static_cast<std::uint32_t>(mostOutputs);
    run.gain = factor < 1.0 ? static_cast<std::uint16_t>(filterGain * factor + 0.5) : filterGain;
    run.status = kResampleOk;
    return run;
}

ResampleStatus checkFactor(double factor, std::uint16_t tapCount) {
    return computeRunValues(factor, 0, tapCount).status;
}

ResampleResult resampleStream(double factor, MonoSource& input, MonoSink& output,
                              std::int64_t inputCount, std::int64_t maxOutputCount,
                              const LowpassFilter& filter, Interpolation interpolation) {
    if (!filterIsUsable(filter)) {
        return {kResampleBadFilter, 0};
    }
    const RunValues run = computeRunValues(factor, filter.gain, filter.tapCount);
    if (run.status != kResampleOk) {
        return {run.status, 0};
    }
    if (maxOutputCount <= 0) {
        return {kResampleOk, 0};
    }

    const std::uint16_t history = run.historyLength;
    std::uint16_t blockLength = run.blockLength;
    InputWindow window(input, std::max<std::int64_t>(inputCount, 0));
    std::vector<std::int16_t> block(run.maxBlockOutput);

    // Output sample 0 falls exactly on input sample 0, which sits at buffer index historyLength
    // behind historyLength zeros.
    std::uint32_t time = timeOfSamples(history);
    std::size_t readPosition = history;
    bool endRead = false;
    std::int64_t total = 0;

    for (;;) {
        if (!endRead) {
            const auto [status, lastIndex] = window.readData(readPosition);
            if (status != kResampleOk) {
                return {status, total};
            }
            if (lastIndex != 0) {
                endRead = true;
                // The last block ends on the last input sample; no output instant lies beyond it
                // within this block. Later blocks keep this length and run over zeros.
                const std::int64_t intervalsLeft = lastIndex - history;
                if (intervalsLeft < blockLength) {
                    if (intervalsLeft <= 0) {
                        return {kResampleOk, total};  // fewer than 2 input samples
                    }
                    blockLength = static_cast<std::uint16_t>(intervalsLeft);
                }
            }
        }

        std::size_t n = factor >= 1.0
                            ? upsampleBlock(window.samples(), block, factor, time, blockLength,
                                            run.gain, filter, interpolation)
                            : downsampleBlock(window.samples(), block, factor, time, blockLength,
                                              run.gain, filter, interpolation);

        // Re-centre: bring the time register's integer part back to historyLength, keeping its
        // fraction, and move the buffer by the same whole number of samples. The last output
        // instant may have overshot the block by `creep` whole samples.
        time -= timeOfSamples(blockLength);
        const std::uint32_t creep = timeIndex(time) - history;
        time -= timeOfSamples(creep);
        const std::size_t shift = blockLength + creep;
        window.shift(shift);
        readPosition = kInputBufferLength - shift;

        const std::int64_t left = maxOutputCount - total;
        if (static_cast<std::int64_t>(n) > left) {
            n = static_cast<std::size_t>(left);
        }
        if (!output.write(block.data(), n)) {
            return {kResampleWriteError, total};
        }
        total += static_cast<std::int64_t>(n);
        if (total >= maxOutputCount) {
            return {kResampleOk, total};
        }
    }
}

LowpassFilter runFilterFor(ResampleFilter which) {
    LowpassFilter filter;
    bool designed = false;
    if (which == ResampleFilter::Designed) {
        filter.coefficients.resize(kMaxWingLength);
        filter.differences.resize(kMaxWingLength);
        // 65 taps always succeeds with these parameters; shorter filters are the fallback.
        for (int taps = kDesignedTapCount; taps >= 3 && !designed; taps -= 2) {
            const auto wing = static_cast<std::uint16_t>((taps - 1) * 128);
            if (designLowpassFilter(filter.coefficients, filter.differences, filter.gain, wing,
                                    kDesignRollOff, kDesignBeta) == kDesignOk) {
                filter.tapCount = static_cast<std::uint16_t>(taps);
                filter.wingLength = wing;
                designed = true;
            }
        }
    }
    if (!designed) {
        filter =
            which == ResampleFilter::SmallBuiltIn ? smallBuiltInFilter() : largeBuiltInFilter();
    }
    filter.gain = static_cast<std::uint16_t>(filter.gain * kRunGainFactor);
    return filter;
}

ResampleResult resampleFile(double factor, MonoSource& input, MonoSink& output,
                            std::int64_t inputCount, std::int64_t maxOutputCount,
                            const ResampleSettings& settings) {
    return resampleStream(factor, input, output, inputCount, maxOutputCount,
                          runFilterFor(settings.filter), settings.interpolation);
}

}  // namespace zelvio
