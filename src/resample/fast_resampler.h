// Drives the fast kernels (resample/fast_kernels.h) for a whole run: ranges of output split over
// a thread pool, and a stream that takes the input in blocks of any size.
//
//     ResamplePlan plan;                                     // once per run
//     ResamplePlan::build(10000.0 / rate, filter, true, plan);
//     ThreadPool pool;                                       // or nullptr: one thread
//     StreamResampler stream(plan, inputCount, outputCount, &pool);
//     std::vector<std::int16_t> out;
//     while (more input) {
//         out.clear();
//         stream.push(block, out);                           // every output the input completes
//         consume(out);
//     }
//
// Output sample k depends only on the input around k x timeStep / 32768, so however the outputs
// are split over threads or calls the samples are the same: those resampleStream writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "resample/cpu_features.h"
#include "resample/fast_kernels.h"
#include "resample/thread_pool.h"

namespace zelvio {

// Computes ranges of outputs of one plan on every thread of a pool.
class ParallelResampler {
  public:
    // plan and pool must outlive the resampler; pool may be null (the caller's thread only). The
    // path is resolved once here.
    ParallelResampler(const ResamplePlan& plan, ThreadPool* pool,
                      KernelPath path = KernelPath::kAuto);

    [[nodiscard]] KernelPath path() const { return path_; }

    // As computeOutputs: outputs firstOutput, ... into out, split into contiguous parts (up to
    // four per thread, taken by whichever thread is free) when the range is large enough to be
    // worth it.
    [[nodiscard]] ResampleStatus compute(InputView input, std::int64_t firstOutput,
                                         std::span<std::int16_t> out);

  private:
    const ResamplePlan& plan_;
    ThreadPool* pool_;
    KernelPath path_;
    std::vector<ResampleScratch> scratch_;
};

// Multiply-adds a stream gathers before it computes: enough to be worth waking the threads for,
// about 60000 input samples at any rate (4 million / (2 x reach) outputs).
inline constexpr std::size_t kDefaultBatchWork = std::size_t{1} << 22;

// The input count of a stream that learns its input's length only when the input ends.
inline constexpr std::int64_t kUnknownInputCount = -1;

// One run's input taken block by block, its output given back in batches as it is determined.
// Memory stays bounded by the largest block pushed, one batch of input and twice the plan's reach.
//
// A stream may start without knowing its input's length (kUnknownInputCount). It then computes
// an output only once the input pushed so far holds everything it reads and the caller has
// allowed it (allowOutputs(): a lower bound of the run's output count), and learns the counts
// from endInput(). Output k depends only on the zero-extended input, so the stream can run ahead
// of the end.
class StreamResampler {
  public:
    // inputCount: the run's input samples, or kUnknownInputCount (any negative count);
    // outputCount: how many outputs the run makes (as resampleStream, none at all when inputCount
    // is below 2), ignored while inputCount is unknown. plan and pool must outlive the stream;
    // pool may be null. batchWork: multiply-adds (outputs x 2 x reach) to gather before
    // computing; 0 computes at every push.
    StreamResampler(const ResamplePlan& plan, std::int64_t inputCount, std::int64_t outputCount,
                    ThreadPool* pool = nullptr, KernelPath path = KernelPath::kAuto,
                    std::size_t batchWork = kDefaultBatchWork);

    // Takes the next input samples in order (any past a known inputCount are ignored). Once the
    // outputs they determine (those whose reach ends within the input so far; after the last input
    // sample, every remaining one up to outputCount) amount to a batch, appends them to output.
    [[nodiscard]] ResampleStatus push(std::span<const std::int16_t> input,
                                      std::vector<std::int16_t>& output);

    // Appends every output the input so far determines, however few.
    [[nodiscard]] ResampleStatus drain(std::vector<std::int16_t>& output);

    // For a stream of unknown length: outputs below count exist whatever the rest of the input
    // holds, so they may be computed. Counts below the largest allowed so far change nothing.
    void allowOutputs(std::int64_t count);

    // For a stream of unknown length: the input ends with the samples pushed so far and the run
    // makes outputCount outputs (none when fewer than 2 samples were pushed). Appends every
    // remaining output, as drain() does. kResampleBadCount, changing nothing, when outputCount is
    // below outputsDone() or the stream knew its length from the start.
    [[nodiscard]] ResampleStatus endInput(std::int64_t outputCount,
                                          std::vector<std::int16_t>& output);

    [[nodiscard]] bool knowsInputCount() const { return inputCount_ >= 0; }
    // kUnknownInputCount until the stream knows its length.
    [[nodiscard]] std::int64_t inputCount() const { return inputCount_; }
    [[nodiscard]] std::int64_t outputCount() const { return outputCount_; }
    [[nodiscard]] std::int64_t outputsDone() const { return outputsDone_; }
    [[nodiscard]] bool finished() const {
        return knowsInputCount() && outputsDone_ == outputCount_;
    }
    [[nodiscard]] std::int64_t inputsTaken() const { return inputsTaken_; }
    // Input samples held for outputs still to come.
    [[nodiscard]] std::size_t bufferedSamples() const { return window_.size(); }
    [[nodiscard]] KernelPath path() const { return kernels_.path(); }

  private:
    // Outputs, counted from 0, that the input taken so far determines.
    [[nodiscard]] std::int64_t determinedOutputs() const;
    ResampleStatus computeUpTo(std::int64_t end, std::vector<std::int16_t>& output);

    const ResamplePlan& plan_;
    ParallelResampler kernels_;
    std::int64_t batchOutputs_;
    std::int64_t inputCount_;          // kUnknownInputCount until known
    std::int64_t outputCount_;         // kUnknownInputCount until known
    std::int64_t outputsAllowed_ = 0;  // while the length is unknown
    std::int64_t inputsTaken_ = 0;
    std::int64_t outputsDone_ = 0;
    std::vector<std::int16_t> window_;  // input samples windowFirst_, windowFirst_ + 1, ...
    std::int64_t windowFirst_ = 0;
};

}  // namespace zelvio
