#include "resample/fast_kernels.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <functional>
#include <new>
#include <numeric>

#include "resample/fast_kernels_detail.h"
#include "resample/kernels.h"
#include "resample/thread_pool.h"

namespace zelvio {

namespace {

using fast_detail::kChunkTaps;
using fast_detail::KernelArgs;

constexpr std::size_t kTableAlignment = 64;
// Largest stretch of input, in samples, copied and reversed for one kernel call: 2 x 128 KiB of
// scratch per thread, while the copying stays a small part of the work even at the widest filter.
constexpr std::size_t kSegmentSamples = 65536;
// A coefficient whose doubled value stays within 16 bits with room for the other wing: rows
// store 2c beyond the exact taps, and a chunk of both wings then sums to at most 4 x 8191.
constexpr std::int32_t kLargestDoubledCoefficient = 8191;
constexpr std::int32_t kLaneSumLimit = 32767;

std::size_t roundUpToChunk(std::size_t taps) {
    return (taps + kChunkTaps - 1) / kChunkTaps * kChunkTaps;
}

}  // namespace

void ResamplePlan::AlignedFree::operator()(std::int16_t* p) const {
    ::operator delete (p, std::align_val_t{kTableAlignment});
}

std::size_t ResamplePlan::tableBytes() const {
    if (!usesTable()) {
        return 0;
    }
    const std::size_t one = static_cast<std::size_t>(rows_) * taps_ * sizeof(std::int16_t);
    return right_ ? 2 * one : one;
}

std::int64_t ResamplePlan::outputsBefore(std::int64_t end) const {
    // Output k reads up to inputIndexOf(k) + taps, so it counts while its index is at most last,
    // that is while k x timeStep < (last + 1) x 32768.
    const std::int64_t last = end - static_cast<std::int64_t>(taps_) - 1;
    if (last < 0 || timeStep_ == 0) {
        return 0;
    }
    const std::uint64_t limit = (static_cast<std::uint64_t>(last) + 1) << 15;
    return static_cast<std::int64_t>((limit - 1) / timeStep_ + 1);
}

ResampleStatus ResamplePlan::build(double factor, const LowpassFilter& filter,
                                   Interpolation interpolation, ResamplePlan& plan,
                                   PlanOptions options) {
    plan = ResamplePlan{};
    if (!filterIsUsable(filter)) {
        return kResampleBadFilter;
    }
    const RunValues run = computeRunValues(factor, filter.gain, filter.tapCount);
    if (run.status != kResampleOk) {
        return run.status;
    }
    ResamplePlan p;
    p.factor_ = factor;
    p.timeStep_ = run.timeStep;
    // 32768 for factors of 1 or more: the unstretched wing moves one zero crossing per sample.
    p.coefficientStep_ = coefficientStepFor(factor);
    p.gain_ = run.gain;
    p.interpolation_ = interpolation;
    // The longest wing starts at q0 = 0 and reads while j x coefficientStep < wingLength x 128.
    const std::uint64_t wingEnd = std::uint64_t{filter.wingLength} * 128;
    p.taps_ = roundUpToChunk(
        static_cast<std::size_t>((wingEnd + p.coefficientStep_ - 1) / p.coefficientStep_));
    p.filter_.coefficients.assign(filter.coefficients.begin(),
                                  filter.coefficients.begin() + filter.wingLength);
    p.filter_.differences.assign(filter.differences.begin(),
                                 filter.differences.begin() + filter.wingLength);
    p.filter_.gain = filter.gain;
    p.filter_.tapCount = filter.tapCount;
    p.filter_.wingLength = filter.wingLength;
    if (!p.buildTables(p.filter_, options.tableBudgetBytes, options.pool)) {
        p.left_.reset();
        p.right_.reset();
        p.rows_ = 0;
        p.exactTaps_ = 0;
    }
    plan = std::move(p);
    return kResampleOk;
}

bool ResamplePlan::buildTables(const LowpassFilter& filter, std::size_t budget, ThreadPool* pool) {
    const std::uint32_t step = coefficientStep_;
    // With interpolation off, a row depends on its start only through the entry q0 >> 7 when the
    // step is a whole number of entries (always so for factors of 1 or more).
    const std::uint32_t keyShift =
        (interpolation_ == Interpolation::None && step % 128 == 0) ? 7 : 0;
    // The phases a run meets are the multiples of gcd(timeStep, 32768); the starts they give all
    // share a power-of-two divisor, which becomes part of the row shift (at factor 1 only the
    // starts 0 and 32768 occur).
    const std::uint32_t phaseStep = std::gcd(timeStep_ % 32768u, 32768u);
    std::uint32_t divisor = step >> keyShift;
    for (std::uint32_t phase = 0; phase < 32768; phase += phaseStep) {
        divisor = std::gcd(divisor, ((phase * step) >> 15) >> keyShift);
    }
    rowShift_ = keyShift + static_cast<std::uint32_t>(std::countr_zero(divisor));
    rows_ = (step >> rowShift_) + 1;

    // The right wing stops one entry short of the left; with a last entry of 0 (as in every
    // designed filter) that entry adds nothing and both wings share one table.
    const bool separateRight = filter.coefficients[filter.wingLength - 1u] != 0;
    const std::size_t count = static_cast<std::size_t>(rows_) * taps_;
    if (count * sizeof(std::int16_t) * (separateRight ? 2 : 1) > budget) {
        return false;
    }
    const auto allocate = [count] {
        return Table(static_cast<std::int16_t*>(::operator new (
            count * sizeof(std::int16_t), std::align_val_t{kTableAlignment}, std::nothrow)));
    };
    left_ = allocate();
    if (separateRight) {
        right_ = allocate();
    }
    if (!left_ || (separateRight && !right_)) {
        return false;
    }

    // Fill the rows with c; note the last chunk that holds a coefficient too large to double. The
    // rows are independent, so the threads of a pool share them, part by part.
    const std::int16_t* coefficients = filter.coefficients.data();
    const std::int16_t* differences = filter.differences.data();
    const auto fill = [&](std::int16_t* table, std::uint32_t limit, std::uint32_t firstRow,
                          std::uint32_t endRow, std::size_t& exactChunks) {
        for (std::uint32_t r = firstRow; r < endRow; ++r) {
            std::int16_t* row = table + static_cast<std::size_t>(r) * taps_;
            std::uint64_t q = std::uint64_t{r} << rowShift_;
            std::size_t j = 0;
            for (; j < taps_ && (q >> 7) < limit; ++j, q += step) {
                const std::size_t e = q >> 7;
                std::int32_t c = coefficients[e];
                if (interpolation_ == Interpolation::Linear) {
                    c += (differences[e] * static_cast<std::int32_t>(q & 127)) >> 7;
                }
                if (c < -32768 || c > 32767) {
                    return false;  // differences that wrapped: only the literal loops are exact
                }
                if (c < -kLargestDoubledCoefficient || c > kLargestDoubledCoefficient) {
                    exactChunks = std::max(exactChunks, j / kChunkTaps + 1);
                }
                row[j] = static_cast<std::int16_t>(c);
            }
            std::fill(row + j, row + taps_, std::int16_t{0});  // past the wing
        }
        return true;
    };
    const std::size_t parts =
        pool != nullptr ? std::min<std::size_t>(pool->threadCount(), rows_ / 64 + 1) : 1;
    const auto rowOf = [&](std::size_t part) {
        return static_cast<std::uint32_t>(std::uint64_t{rows_} * part / parts);
    };
    const auto eachPart = [&](const std::function<void(std::size_t)>& task) {
        if (parts > 1) {
            pool->run(parts, task);
        } else {
            task(0);
        }
    };
    std::vector<std::size_t> exactChunks(parts, 0);
    std::vector<char> filled(parts, 0);
    eachPart([&](std::size_t part) {
        const std::uint32_t first = rowOf(part);
        const std::uint32_t end = rowOf(part + 1);
        filled[part] = fill(left_.get(), filter.wingLength, first, end, exactChunks[part]) &&
                       (!separateRight ||
                        fill(right_.get(), filter.wingLength - 1u, first, end, exactChunks[part]));
    });
    if (std::find(filled.begin(), filled.end(), 0) != filled.end()) {
        return false;
    }
    exactTaps_ = *std::max_element(exactChunks.begin(), exactChunks.end()) * kChunkTaps;
    eachPart([&](std::size_t part) {
        for (std::int16_t* table : {left_.get(), right_.get()}) {
            if (table == nullptr) {
                continue;
            }
            for (std::uint32_t r = rowOf(part); r < rowOf(part + 1); ++r) {
                std::int16_t* row = table + static_cast<std::size_t>(r) * taps_;
                for (std::size_t j = exactTaps_; j < taps_; ++j) {
                    row[j] = static_cast<std::int16_t>(2 * row[j]);
                }
            }
        }
    });
    chooseGroups();
    return true;
}

// Greedy groups of chunks whose 16-bit lane sums cannot overflow. For every row and lane the
// largest magnitude a group can sum to is the sum of |2c| over its taps (full-scale input with the
// coefficients' signs); the left and right rows of one output are bounded together by the largest
// row of each table.
void ResamplePlan::chooseGroups() {
    groupEnds_.clear();
    largestLaneSum_ = 0;
    const std::size_t chunks = taps_ / kChunkTaps;
    const std::size_t firstChunk = exactTaps_ / kChunkTaps;
    const std::size_t lanes = static_cast<std::size_t>(rows_) * kChunkTaps;
    std::vector<std::uint16_t> leftSums(lanes, 0);
    std::vector<std::uint16_t> rightSums(right_ ? lanes : 0, 0);
    // Adds chunk ch of every row to the lane sums (or starts them afresh from it) and returns the
    // largest. Sums stay below 32767 + 16382, within 16 unsigned bits.
    const auto add = [&](const std::int16_t* table, std::uint16_t* sums, std::size_t ch,
                         bool fresh) {
        std::int32_t largest = 0;
        for (std::uint32_t r = 0; r < rows_; ++r) {
            const std::int16_t* chunk =
                table + static_cast<std::size_t>(r) * taps_ + ch * kChunkTaps;
            std::uint16_t* sum = sums + static_cast<std::size_t>(r) * kChunkTaps;
            for (std::size_t lane = 0; lane < kChunkTaps; ++lane) {
                const std::int32_t magnitude = chunk[lane] < 0 ? -chunk[lane] : chunk[lane];
                const std::int32_t s = (fresh ? 0 : sum[lane]) + magnitude;
                sum[lane] = static_cast<std::uint16_t>(s);
                largest = s > largest ? s : largest;
            }
        }
        return largest;
    };
    const auto pairSum = [&](std::size_t ch, bool fresh) {
        const std::int32_t left = add(left_.get(), leftSums.data(), ch, fresh);
        return left + (right_ ? add(right_.get(), rightSums.data(), ch, fresh) : left);
    };
    for (std::size_t ch = firstChunk; ch < chunks; ++ch) {
        std::int32_t groupSum = pairSum(ch, ch == firstChunk);
        if (groupSum > kLaneSumLimit) {
            // Chunk ch starts the next group; on its own it always fits: 4 x 8191 < 32767.
            groupEnds_.push_back(static_cast<std::uint16_t>(ch));
            groupSum = pairSum(ch, true);
        }
        largestLaneSum_ = std::max(largestLaneSum_, groupSum);
    }
    if (chunks > firstChunk) {
        groupEnds_.push_back(static_cast<std::uint16_t>(chunks));
    }
}

namespace fast_detail {

// Chunks of 16 taps summed lane by lane: a fixed trip count that compilers turn into vector code
// at -O2 on their own where they can.
template <int Shift>
inline void addChunk(std::int32_t (&lanes)[kChunkTaps], const std::int16_t* c,
                     const std::int16_t* x) {
    for (std::size_t l = 0; l < kChunkTaps; ++l) {
        lanes[l] += (c[l] * x[l] + (1 << (Shift - 1))) >> Shift;
    }
}

void runPortable(const KernelArgs& a) {
    std::uint64_t time = a.time;
    for (std::size_t o = 0; o < a.count; ++o, time += a.timeStep) {
        const OutputTaps t = tapsAt(time, a.coefficientStep, a.rowShift);
        const std::int16_t* cl = a.leftTable + static_cast<std::size_t>(t.leftRow) * a.taps;
        const std::int16_t* cr = a.rightTable + static_cast<std::size_t>(t.rightRow) * a.taps;
        const std::int16_t* xl = a.reversed + (a.reversedLast - t.index);
        const std::int16_t* xr = a.forward + (t.index + 1 - a.forwardFirst);
        std::int32_t lanes[kChunkTaps] = {};
        std::size_t j = 0;
        for (; j < a.exactTaps; j += kChunkTaps) {
            addChunk<14>(lanes, cl + j, xl + j);
            addChunk<14>(lanes, cr + j, xr + j);
        }
        // 2c x s rounded at bit 15 is c x s rounded at bit 14.
        for (; j < a.taps; j += kChunkTaps) {
            addChunk<15>(lanes, cl + j, xl + j);
            addChunk<15>(lanes, cr + j, xr + j);
        }
        std::int32_t sum = 0;
        for (const std::int32_t lane : lanes) {
            sum += lane;
        }
        a.out[o] = scaleSum(sum, a.gain);
    }
}

}  // namespace fast_detail

ResampleStatus computeOutputs(const ResamplePlan& plan, InputView input, std::int64_t firstOutput,
                              std::span<std::int16_t> out, KernelPath path,
                              ResampleScratch& scratch) {
    if (!plan.valid()) {
        return kResampleBadFilter;
    }
    if (out.empty()) {
        return kResampleOk;
    }
    const auto count = static_cast<std::int64_t>(out.size());
    const std::int64_t lastOutput = firstOutput + count - 1;
    const std::int64_t needFirst = std::max<std::int64_t>(0, plan.firstInputOf(firstOutput));
    const std::int64_t needEnd = std::min(input.inputCount, plan.endInputOf(lastOutput));
    const std::int64_t viewEnd = input.first + static_cast<std::int64_t>(input.samples.size());
    if (firstOutput < 0 ||
        (needFirst < needEnd && (needFirst < input.first || needEnd > viewEnd))) {
        return kResampleInputNotInView;
    }
    path = resolveKernelPath(path);
    const auto run = path == KernelPath::kAvx2       ? fast_detail::runAvx2
                     : path == KernelPath::kSse2     ? fast_detail::runSse2
                     : path == KernelPath::kWasmSimd ? fast_detail::runWasmSimd
                                                     : fast_detail::runPortable;

    const std::size_t taps = plan.taps_;
    const std::size_t segment = std::max(kSegmentSamples, 4 * taps);
    const std::int64_t perSegment = std::max<std::int64_t>(
        1, static_cast<std::int64_t>(((segment - 2 * taps) << 15) / plan.timeStep_));
    for (std::int64_t done = 0; done < count;) {
        const std::int64_t n = std::min(perSegment, count - done);
        const std::int64_t k0 = firstOutput + done;
        // The zero-extended input positions [s0, s1) that outputs k0 .. k0 + n - 1 read.
        const std::int64_t s0 = plan.firstInputOf(k0);
        const std::int64_t s1 = plan.endInputOf(k0 + n - 1);
        const auto length = static_cast<std::size_t>(s1 - s0);
        std::vector<std::int16_t>& forward = scratch.forward_;
        forward.assign(length, 0);
        const std::int64_t copyFirst = std::max<std::int64_t>(s0, 0);
        const std::int64_t copyEnd = std::min(s1, input.inputCount);
        if (copyFirst < copyEnd) {
            std::copy(input.samples.begin() + (copyFirst - input.first),
                      input.samples.begin() + (copyEnd - input.first),
                      forward.begin() + (copyFirst - s0));
        }
        std::int16_t* destination = out.data() + done;
        const std::uint64_t time = static_cast<std::uint64_t>(k0) * plan.timeStep_;
        if (plan.usesTable()) {
            std::vector<std::int16_t>& reversed = scratch.reversed_;
            reversed.resize(length);
            std::reverse_copy(forward.begin(), forward.end(), reversed.begin());
            KernelArgs args;
            args.leftTable = plan.left_.get();
            args.rightTable = plan.right_ ? plan.right_.get() : plan.left_.get();
            args.taps = taps;
            args.exactTaps = plan.exactTaps_;
            args.groupEnds = plan.groupEnds_.data();
            args.groupCount = plan.groupEnds_.size();
            args.timeStep = plan.timeStep_;
            args.coefficientStep = plan.coefficientStep_;
            args.rowShift = plan.rowShift_;
            args.gain = plan.gain_;
            args.time = time;
            args.forward = forward.data();
            args.forwardFirst = s0;
            args.reversed = reversed.data();
            args.reversedLast = s1 - 1;
            args.out = destination;
            args.count = static_cast<std::size_t>(n);
            run(args);
        } else {
            // The literal wing loops over the zero-extended copy.
            const LowpassFilter& filter = plan.filter_;
            const bool stretched = plan.factor_ < 1.0;
            const auto step = static_cast<std::uint16_t>(plan.coefficientStep_);
            for (std::int64_t o = 0; o < n; ++o) {
                const std::uint64_t t = time + static_cast<std::uint64_t>(o) * plan.timeStep_;
                const std::int16_t* at = forward.data() + (static_cast<std::int64_t>(t >> 15) - s0);
                const auto phase = static_cast<std::uint32_t>(t & 0x7FFF);
                const std::uint32_t rightPhase = (0x8000u - phase) & 0x7FFF;
                const Interpolation on = plan.interpolation_;
                const std::int32_t left = stretched ? sumWingScaled(filter, on, at, phase, -1, step)
                                                    : sumWing(filter, on, at, phase, -1);
                const std::int32_t right =
                    stretched ? sumWingScaled(filter, on, at + 1, rightPhase, 1, step)
                              : sumWing(filter, on, at + 1, rightPhase, 1);
                destination[o] = fast_detail::scaleSum(left + right, plan.gain_);
            }
        }
        done += n;
    }
    return kResampleOk;
}

}  // namespace zelvio
