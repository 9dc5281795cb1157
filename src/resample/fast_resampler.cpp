#include "resample/fast_resampler.h"

#include <algorithm>

namespace zelvio {

namespace {

// Below this many multiply-adds a range runs on one thread: waking the pool would cost more.
constexpr std::size_t kParallelWork = std::size_t{1} << 18;
// Parts per thread a range is split into: threads that run while others wait for a core (the
// job reads and codes on threads of its own) take more parts, instead of the whole range waiting
// for the slowest.
constexpr std::size_t kPartsPerThread = 4;

std::size_t threadsOf(const ThreadPool* pool) {
    return pool != nullptr ? pool->threadCount() : 1;
}

}  // namespace

ParallelResampler::ParallelResampler(const ResamplePlan& plan, ThreadPool* pool, KernelPath path)
    : plan_(plan),
      pool_(pool),
      path_(resolveKernelPath(path)),
      scratch_(threadsOf(pool) > 1 ? kPartsPerThread * threadsOf(pool) : 1) {}

ResampleStatus ParallelResampler::compute(InputView input, std::int64_t firstOutput,
                                          std::span<std::int16_t> out) {
    const std::size_t work = out.size() * std::max<std::size_t>(plan_.reach(), 1) * 2;
    if (scratch_.size() <= 1 || work < kParallelWork * 2) {
        return computeOutputs(plan_, input, firstOutput, out, path_, scratch_[0]);
    }
    const std::size_t parts = std::min(scratch_.size(), work / kParallelWork);
    std::vector<ResampleStatus> statuses(parts, kResampleOk);
    pool_->run(parts, [&](std::size_t part) {
        const std::size_t begin = out.size() * part / parts;
        const std::size_t end = out.size() * (part + 1) / parts;
        statuses[part] =
            computeOutputs(plan_, input, firstOutput + static_cast<std::int64_t>(begin),
                           out.subspan(begin, end - begin), path_, scratch_[part]);
    });
    for (const ResampleStatus status : statuses) {
        if (status != kResampleOk) {
            return status;
        }
    }
    return kResampleOk;
}

StreamResampler::StreamResampler(const ResamplePlan& plan, std::int64_t inputCount,
                                 std::int64_t outputCount, ThreadPool* pool, KernelPath path,
                                 std::size_t batchWork)
    : plan_(plan),
      kernels_(plan, pool, path),
      batchOutputs_(
          static_cast<std::int64_t>(batchWork / (2 * std::max<std::size_t>(plan.reach(), 1)))),
      inputCount_(inputCount < 0 ? kUnknownInputCount : inputCount),
      outputCount_(inputCount < 0    ? kUnknownInputCount
                   : inputCount >= 2 ? std::max<std::int64_t>(outputCount, 0)
                                     : 0) {}

std::int64_t StreamResampler::determinedOutputs() const {
    if (!knowsInputCount()) {
        return inputsTaken_ < 2 ? 0 : std::min(plan_.outputsBefore(inputsTaken_), outputsAllowed_);
    }
    return inputsTaken_ == inputCount_ ? outputCount_
                                       : std::min(outputCount_, plan_.outputsBefore(inputsTaken_));
}

ResampleStatus StreamResampler::push(std::span<const std::int16_t> input,
                                     std::vector<std::int16_t>& output) {
    const std::size_t take =
        knowsInputCount()
            ? static_cast<std::size_t>(
                  std::min(static_cast<std::int64_t>(input.size()), inputCount_ - inputsTaken_))
            : input.size();
    window_.insert(window_.end(), input.begin(), input.begin() + static_cast<std::ptrdiff_t>(take));
    inputsTaken_ += static_cast<std::int64_t>(take);
    const std::int64_t end = determinedOutputs();
    const bool last = knowsInputCount() && end == outputCount_;
    if (!last && end - outputsDone_ < std::max<std::int64_t>(batchOutputs_, 1)) {
        return kResampleOk;  // gather more first
    }
    return computeUpTo(end, output);
}

ResampleStatus StreamResampler::drain(std::vector<std::int16_t>& output) {
    return computeUpTo(determinedOutputs(), output);
}

void StreamResampler::allowOutputs(std::int64_t count) {
    outputsAllowed_ = std::max(outputsAllowed_, count);
}

ResampleStatus StreamResampler::endInput(std::int64_t outputCount,
                                         std::vector<std::int16_t>& output) {
    const std::int64_t count = inputsTaken_ >= 2 ? std::max<std::int64_t>(outputCount, 0) : 0;
    if (knowsInputCount() || count < outputsDone_) {
        return kResampleBadCount;
    }
    inputCount_ = inputsTaken_;
    outputCount_ = count;
    return drain(output);
}

ResampleStatus StreamResampler::computeUpTo(std::int64_t end, std::vector<std::int16_t>& output) {
    if (end > outputsDone_) {
        const std::size_t before = output.size();
        output.resize(before + static_cast<std::size_t>(end - outputsDone_));
        // While the length is unknown, every output computed reads only input already taken.
        const std::int64_t inputCount = knowsInputCount() ? inputCount_ : inputsTaken_;
        const ResampleStatus status = kernels_.compute(
            {window_, windowFirst_, inputCount}, outputsDone_, std::span(output).subspan(before));
        if (status != kResampleOk) {
            output.resize(before);
            return status;
        }
        outputsDone_ = end;
    }
    // Keep only what the next output reads.
    const std::int64_t windowEnd = windowFirst_ + static_cast<std::int64_t>(window_.size());
    const std::int64_t keep =
        finished() ? windowEnd
                   : std::clamp(plan_.firstInputOf(outputsDone_), windowFirst_, windowEnd);
    window_.erase(window_.begin(), window_.begin() + (keep - windowFirst_));
    windowFirst_ = keep;
    return kResampleOk;
}

}  // namespace zelvio
