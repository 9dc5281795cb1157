#include "job/stages.h"

namespace zelvio {

RunSize runSize(std::int64_t inputCount, std::uint32_t inputRate) {
    RunSize size;
    size.inputCount = inputCount;
    size.factor = static_cast<double>(kStreamSampleRate) / static_cast<double>(inputRate);
    size.outputCount = static_cast<std::int64_t>(static_cast<double>(inputCount) * size.factor) + 1;
    // The resampler writes nothing for fewer than two input samples.
    size.frameCount = inputCount >= 2 ? size.outputCount / kFrameSamples : 0;
    return size;
}

StageResult RateConverter::resampleError(ResampleStatus status) {
    return StageError{OutcomeKind::FileIoError,
                      std::string("cannot resample: ") + resampleStatusText(status)};
}

StageResult RateConverter::start(std::int64_t inputCount, std::uint32_t inputRate,
                                 ThreadPool* pool) {
    inputRate_ = inputRate;
    const bool known = inputCount != kUnknownFrameCount;
    size_ = runSize(known ? inputCount : 0, inputRate);
    sizeKnown_ = known;
    // The filter and table reading resampleFile uses for a conversion.
    const ResampleStatus status =
        ResamplePlan::build(size_.factor, runFilterFor(ResampleFilter::Designed),
                            Interpolation::Linear, plan_, {.pool = pool});
    if (status != kResampleOk) {
        return resampleError(status);
    }
    stream_.emplace(plan_, known ? inputCount : kUnknownInputCount, known ? size_.outputCount : 0,
                    pool);
    return std::nullopt;
}

StageResult RateConverter::push(std::span<const std::int16_t> input,
                                std::vector<std::int16_t>& output) {
    if (!stream_) {
        return resampleError(kResampleBadFilter);
    }
    if (!sizeKnown_) {
        // The input holds at least the samples taken so far, so the run makes at least as many
        // outputs as that many would.
        const std::int64_t atLeast =
            stream_->inputsTaken() + static_cast<std::int64_t>(input.size());
        stream_->allowOutputs(runSize(atLeast, inputRate_).outputCount);
    }
    const ResampleStatus status = stream_->push(input, output);
    return status == kResampleOk ? StageResult{} : resampleError(status);
}

StageResult RateConverter::finish(std::vector<std::int16_t>& output) {
    if (!stream_) {
        return resampleError(kResampleBadFilter);
    }
    ResampleStatus status = kResampleOk;
    if (sizeKnown_) {
        status = stream_->drain(output);
    } else {
        size_ = runSize(stream_->inputsTaken(), inputRate_);
        sizeKnown_ = true;
        status = stream_->endInput(size_.outputCount, output);
    }
    return status == kResampleOk ? StageResult{} : resampleError(status);
}

}  // namespace zelvio
