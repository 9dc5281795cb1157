#include "job/stages.h"

namespace zelvio {
namespace {

/// Passes samples on and reports how far the rate conversion has come.
class ProgressSink final : public MonoSink {
  public:
    ProgressSink(MonoSink& inner, std::int64_t expected, const ProgressReport& report)
        : inner_(inner), expected_(expected), report_(report) {}

    bool write(const std::int16_t* samples, std::size_t count) override {
        written_ += static_cast<std::int64_t>(count);
        if (report_ && expected_ > 0) {
            report_(static_cast<double>(written_) / static_cast<double>(expected_));
        }
        return inner_.write(samples, count);
    }

  private:
    MonoSink& inner_;
    std::int64_t expected_;
    std::int64_t written_ = 0;
    const ProgressReport& report_;
};

}  // namespace

RunSize runSize(std::int64_t inputCount, std::uint32_t inputRate) {
    RunSize size;
    size.inputCount = inputCount;
    size.factor = static_cast<double>(kStreamSampleRate) / static_cast<double>(inputRate);
    size.outputCount = static_cast<std::int64_t>(static_cast<double>(inputCount) * size.factor) + 1;
    // The resampler writes nothing for fewer than two input samples.
    size.frameCount = inputCount >= 2 ? size.outputCount / kFrameSamples : 0;
    return size;
}

StageResult resampleToStreamRate(MonoSource& staged, MonoSink& resampled, const RunSize& size,
                                 const ProgressReport& progress) {
    ProgressSink sink(resampled, size.outputCount, progress);
    const ResampleResult result =
        resampleFile(size.factor, staged, sink, size.inputCount, size.outputCount,
                     {.filter = ResampleFilter::Designed, .interpolation = Interpolation::Linear});
    switch (result.status) {
        case kResampleOk:
            return std::nullopt;
        case kResampleReadError:
            return StageError{OutcomeKind::FileIoError, "cannot read a scratch file"};
        case kResampleWriteError:
            return StageError{OutcomeKind::FileIoError, "cannot write a scratch file"};
        default:
            return StageError{OutcomeKind::FileIoError,
                              std::string("cannot resample: ") + resampleStatusText(result.status)};
    }
}

}  // namespace zelvio
