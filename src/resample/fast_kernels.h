// Table-driven resampling kernels that give exactly the samples of upsampleBlock and
// downsampleBlock (resample/kernels.h), many times faster.
//
// Output sample k of a run lies at time k x timeStep (15 fractional bits) from input sample 0 and
// is a pure function of the input extended with zeros on both sides (see resample/resampler.h).
// Each of its two wings walks the filter table from a start that depends only on the instant's
// phase: the left wing from q0 = (phase x coefficientStep) >> 15, the right wing from the same
// function of its own phase, (32768 - phase) mod 32768, one whole step further out when that phase
// is 0. (Factors of 1 or more use the unstretched filter: coefficientStep 32768, q0 = phase.) A
// plan therefore computes, once per run, one row of interpolated coefficients per start position,
// and each output becomes two dense dot products over 16-bit rows with the same per-term rounding
// as the literal loops.
//
//     ResamplePlan plan;
//     if (ResamplePlan::build(10000.0 / rate, filter, true, plan) != kResampleOk) ...
//     // The view must hold input positions [firstInputOf(k0), endInputOf(k1 - 1)) that lie
//     // within [0, inputCount); it may hold more.
//     InputView view{samples, firstSample, inputCount};
//     std::vector<std::int16_t> out(k1 - k0);
//     ResampleScratch scratch;
//     ResampleStatus status = computeOutputs(plan, view, k0, out, KernelPath::kAuto, scratch);
//
// The table takes about 2 MB at every factor (at most 3 MiB, just below factor 1). Rows hold 16-bit
// values; the taps next to the centre, where |c| > 8191, are summed with 32-bit products and the
// others with 16-bit rounded products whose lane sums are proven, when the plan is built, to fit
// 16 bits over each group of chunks (resample/fast_kernels_detail.h).
//
// A plan is read-only once built and may be shared by any number of threads; each thread needs
// its own ResampleScratch. resample/fast_resampler.h splits ranges over threads and streams.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "resample/cpu_features.h"
#include "resample/lowpass_filter.h"
#include "resample/resampler.h"

namespace zelvio {

// Part of a run's input: samples[n] is input sample first + n. Positions before 0 and at or after
// inputCount read as 0 whatever the view holds there.
struct InputView {
    std::span<const std::int16_t> samples;
    std::int64_t first = 0;
    std::int64_t inputCount = 0;
};

class ResampleScratch;

class ThreadPool;

struct PlanOptions {
    // Largest coefficient table a plan may build; beyond it the plan runs the literal kernels.
    std::size_t tableBudgetBytes = std::size_t{8} << 20;
    // Threads that share the filling of the table (resample/thread_pool.h); null: the caller's.
    ThreadPool* pool = nullptr;
};

// Everything fixed for one run: step values, gain and the coefficient table.
class ResamplePlan {
  public:
    ResamplePlan() = default;
    ResamplePlan(ResamplePlan&&) noexcept = default;
    ResamplePlan& operator=(ResamplePlan&&) noexcept = default;
    ResamplePlan(const ResamplePlan&) = delete;
    ResamplePlan& operator=(const ResamplePlan&) = delete;

    // Builds the plan of a run that resampleStream would make with the same factor, filter and
    // interpolation (filter.gain as resampleStream takes it, before the lowering for factors
    // below 1). Returns kResampleOk, kResampleUnsupportedFactor or kResampleBadFilter (plan left
    // empty). A filter whose table would pass the budget, or whose interpolated coefficients leave
    // 16 bits, gets a plan that runs the literal kernels: slower, the same samples.
    [[nodiscard]] static ResampleStatus build(double factor, const LowpassFilter& filter,
                                              Interpolation interpolation, ResamplePlan& plan,
                                              PlanOptions options = {});

    [[nodiscard]] bool valid() const { return timeStep_ != 0; }
    [[nodiscard]] double factor() const { return factor_; }
    [[nodiscard]] std::uint32_t timeStep() const { return timeStep_; }
    [[nodiscard]] std::uint32_t coefficientStep() const { return coefficientStep_; }
    [[nodiscard]] std::uint16_t gain() const { return gain_; }
    [[nodiscard]] Interpolation interpolation() const { return interpolation_; }

    // Index of the input sample at or before output k's instant (k >= 0).
    [[nodiscard]] std::int64_t inputIndexOf(std::int64_t k) const {
        return static_cast<std::int64_t>((static_cast<std::uint64_t>(k) * timeStep_) >> 15);
    }
    // The input positions output k reads: [firstInputOf(k), endInputOf(k)). Positions outside
    // the input need not be in a view; they read as 0.
    [[nodiscard]] std::int64_t firstInputOf(std::int64_t k) const {
        return inputIndexOf(k) - static_cast<std::int64_t>(taps_) + 1;
    }
    [[nodiscard]] std::int64_t endInputOf(std::int64_t k) const {
        return inputIndexOf(k) + static_cast<std::int64_t>(taps_) + 1;
    }
    // How many outputs, counted from output 0, read nothing at or after input position end.
    [[nodiscard]] std::int64_t outputsBefore(std::int64_t end) const;
    // Samples one output reads on each side of its instant (the left wing includes the sample at
    // the instant): the history and look-ahead a stream must keep.
    [[nodiscard]] std::size_t reach() const { return taps_; }

    // Whether outputs come from the coefficient table (else from the literal kernels).
    [[nodiscard]] bool usesTable() const { return left_ != nullptr; }
    // Bytes of coefficient tables (both wings), 0 for the literal kernels.
    [[nodiscard]] std::size_t tableBytes() const;
    [[nodiscard]] std::uint32_t rows() const { return rows_; }
    // Taps of a row as stored (a multiple of 16) and of those, how many hold c itself.
    [[nodiscard]] std::size_t taps() const { return taps_; }
    [[nodiscard]] std::size_t exactTaps() const { return exactTaps_; }
    // Chunk indices where the 16-bit accumulation groups end, and the largest possible lane sum
    // of one group (both wings, full-scale input with the coefficients' signs): at most 32767.
    [[nodiscard]] std::span<const std::uint16_t> groupEnds() const { return groupEnds_; }
    [[nodiscard]] std::int32_t largestLaneSum() const { return largestLaneSum_; }

  private:
    friend ResampleStatus computeOutputs(const ResamplePlan&, InputView, std::int64_t,
                                         std::span<std::int16_t>, KernelPath, ResampleScratch&);

    struct AlignedFree {
        void operator()(std::int16_t* p) const;
    };
    using Table = std::unique_ptr<std::int16_t[], AlignedFree>;

    [[nodiscard]] bool buildTables(const LowpassFilter& filter, std::size_t budget,
                                   ThreadPool* pool);
    void chooseGroups();

    double factor_ = 0;
    std::uint32_t timeStep_ = 0;
    std::uint32_t coefficientStep_ = 0;
    std::uint16_t gain_ = 0;
    Interpolation interpolation_ = Interpolation::None;
    std::size_t taps_ = 0;
    std::size_t exactTaps_ = 0;
    std::uint32_t rowShift_ = 0;
    std::uint32_t rows_ = 0;
    Table left_;
    Table right_;  // only when the right wing's rows differ from the left wing's
    std::vector<std::uint16_t> groupEnds_;
    std::int32_t largestLaneSum_ = 0;
    LowpassFilter filter_;  // for the literal kernels
};

// Working buffers of one thread: a zero-extended copy of the input stretch being converted, and
// the same reversed.
class ResampleScratch {
  private:
    friend ResampleStatus computeOutputs(const ResamplePlan&, InputView, std::int64_t,
                                         std::span<std::int16_t>, KernelPath, ResampleScratch&);
    std::vector<std::int16_t> forward_;
    std::vector<std::int16_t> reversed_;
};

// Computes outputs firstOutput, firstOutput + 1, ... into out (out.size() of them) on the given
// path (kAuto is resolved here; an unavailable path falls back as resolveKernelPath says).
// Returns kResampleOk; kResampleInputNotInView (nothing written) when firstOutput is negative or
// the view does not hold every input sample in [max(0, firstInputOf(firstOutput)),
// min(inputCount, endInputOf(last output))); kResampleBadFilter for a plan never built.
[[nodiscard]] ResampleStatus computeOutputs(const ResamplePlan& plan, InputView input,
                                            std::int64_t firstOutput, std::span<std::int16_t> out,
                                            KernelPath path, ResampleScratch& scratch);

}  // namespace zelvio
