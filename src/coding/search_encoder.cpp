#include "coding/search_encoder.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <limits>
#include <type_traits>
#include <utility>

#include "coding/adpcm_tables.h"

namespace zelvio {
namespace {

constexpr std::int32_t kSampleMin = -32768;
constexpr std::int32_t kSampleMax = 32767;

// The signed levels of one width, numbered from the most negative reconstructed difference to the
// most positive: at 4 bits, level 0 is the code of sign and magnitude 7, level 7 sign and
// magnitude 0, level 8 magnitude 0 and level 15 magnitude 7. Neighbouring levels decode to
// neighbouring samples, so "near the greedy code" is a range of levels.
template <int Bits>
struct Width {
    static constexpr int kLevels = 1 << Bits;
    static constexpr int kMagnitudes = kLevels / 2;
    // Levels tried around each path's greedy level: two either side at 4 bits, one at 3 and 2
    // bits. Trying more levels gained less than keeping more paths for the same time.
    static constexpr int kTried = Bits == 4 ? 5 : 3;
    // Samples after the current one whose greedy coding error joins a candidate's rank; a third
    // gained nothing.
    static constexpr int kAhead = 2;
    static_assert(kTried <= kLevels);
};

// The code in 4-bit form (sign in bit 3, the width's magnitude bits below it) of a level.
template <int Bits>
constexpr std::uint32_t codeOfLevel(int level) {
    constexpr int kMagnitudes = Width<Bits>::kMagnitudes;
    const bool below = level < kMagnitudes;
    const int magnitude = below ? kMagnitudes - 1 - level : level - kMagnitudes;
    return (below ? 8u : 0u) | (static_cast<std::uint32_t>(magnitude) << (4 - Bits));
}

static_assert(codeOfLevel<4>(0) == 15 && codeOfLevel<4>(7) == 8 && codeOfLevel<4>(8) == 0 &&
              codeOfLevel<4>(15) == 7);
static_assert(codeOfLevel<3>(0) == 14 && codeOfLevel<3>(4) == 0 && codeOfLevel<3>(7) == 6);
static_assert(codeOfLevel<2>(0) == 12 && codeOfLevel<2>(1) == 8 && codeOfLevel<2>(3) == 4);

// The decoder's reconstructed difference for the magnitude bits of a code in 4-bit form at
// widths 2 to 4: step >> (bits - 1), plus step, step/2 and step/4 for the bits that are set.
constexpr std::int32_t reconstructedDifference(std::int32_t step, std::uint32_t code, int bits) {
    return (step >> (bits - 1)) + ((code & 4u) != 0 ? step : 0) +
           ((code & 2u) != 0 ? step >> 1 : 0) + ((code & 1u) != 0 ? step >> 2 : 0);
}

// What taking a level does to the decoder's state, for every step index: the signed change of
// the predictor and the next step index (index adjustment added, clamped to 0 to 88).
struct LevelEffect {
    std::int32_t predictorChange;
    std::int32_t nextStepIndex;
};

template <int Bits>
constexpr std::array<LevelEffect, kAdpcmStepCount * Width<Bits>::kLevels> makeLevelEffects() {
    std::array<LevelEffect, kAdpcmStepCount * Width<Bits>::kLevels> effects{};
    for (std::size_t index = 0; index < kAdpcmStepCount; ++index) {
        for (int level = 0; level < Width<Bits>::kLevels; ++level) {
            const std::uint32_t code = codeOfLevel<Bits>(level);
            const std::int32_t r = reconstructedDifference(kAdpcmStepSizes[index], code, Bits);
            effects[index * Width<Bits>::kLevels + static_cast<std::size_t>(level)] = {
                (code & 8u) != 0 ? -r : r,
                std::clamp<std::int32_t>(
                    static_cast<std::int32_t>(index) + kAdpcmIndexAdjustments[code], 0,
                    kAdpcmMaxStepIndex)};
        }
    }
    return effects;
}

template <int Bits>
constexpr auto kLevelEffects = makeLevelEffects<Bits>();

// The greedy quantiser's comparison values, T(m) = (m & 4 ? step : 0) + (m & 2 ? step >> 1 : 0)
// + (m & 1 ? step >> 2 : 0) for m = 1 to 7: the greedy magnitude is the number of them that the
// magnitude of the difference reaches. A value above 32767 can never be reached once the
// difference is clamped to 16 bits, so it is stored as 65536, above any unclamped magnitude, and
// the unclamped difference can be compared directly.
constexpr std::int32_t kUnreachable = 65536;
constexpr std::size_t kThresholdSlots = 8;

constexpr std::array<std::int32_t, kAdpcmStepCount * kThresholdSlots> makeThresholds() {
    std::array<std::int32_t, kAdpcmStepCount * kThresholdSlots> thresholds{};
    for (std::size_t index = 0; index < kAdpcmStepCount; ++index) {
        const std::int32_t step = kAdpcmStepSizes[index];
        for (std::uint32_t m = 1; m < kThresholdSlots; ++m) {
            const std::int32_t threshold = ((m & 4u) != 0 ? step : 0) +
                                           ((m & 2u) != 0 ? step >> 1 : 0) +
                                           ((m & 1u) != 0 ? step >> 2 : 0);
            thresholds[index * kThresholdSlots + m] =
                threshold <= kSampleMax ? threshold : kUnreachable;
        }
    }
    return thresholds;
}

constexpr auto kThresholds = makeThresholds();

// The level the greedy encoder picks for a sample from a state.
template <int Bits>
inline int greedyLevel(std::int32_t predictor, std::int32_t stepIndex, std::int32_t sample) {
    const std::int32_t difference = sample - predictor;
    const std::int32_t belowMask = difference >> 31;  // all ones when the sample is below
    const std::int32_t magnitude = (difference ^ belowMask) - belowMask;
    const std::int32_t* t = &kThresholds[static_cast<std::size_t>(stepIndex) * kThresholdSlots];
    std::int32_t m;
    if constexpr (Bits == 2) {
        m = magnitude >= t[4];
    } else if constexpr (Bits == 3) {
        m = (magnitude >= t[2]) + (magnitude >= t[4]) + (magnitude >= t[6]);
    } else {
        m = ((magnitude >= t[1]) + (magnitude >= t[2])) +
            ((magnitude >= t[3]) + (magnitude >= t[4])) +
            ((magnitude >= t[5]) + (magnitude >= t[6])) + (magnitude >= t[7]);
    }
    // Magnitude m is level kMagnitudes + m above the predictor, kMagnitudes - 1 - m below it.
    return Width<Bits>::kMagnitudes + (m ^ belowMask);
}

// The decoder's state in working form.
struct DecoderState {
    std::int32_t predictor;
    std::int32_t stepIndex;
};

// The decoder's state after a level: the predictor change and the next step index looked up,
// the predictor clamped to 16 bits as the decoder clamps it.
template <int Bits>
inline DecoderState afterLevel(DecoderState decoder, int level) {
    const LevelEffect& effect =
        kLevelEffects<Bits>[static_cast<std::size_t>(decoder.stepIndex) * Width<Bits>::kLevels +
                            static_cast<std::size_t>(level)];
    return {std::clamp(decoder.predictor + effect.predictorChange, kSampleMin, kSampleMax),
            effect.nextStepIndex};
}

// As afterLevel, but without the clamp, for estimates: a predictor beyond 16 bits changes only
// how a candidate that drives the decoder into its limits is ranked.
template <int Bits>
inline DecoderState roughlyAfterLevel(DecoderState decoder, int level) {
    const LevelEffect& effect =
        kLevelEffects<Bits>[static_cast<std::size_t>(decoder.stepIndex) * Width<Bits>::kLevels +
                            static_cast<std::size_t>(level)];
    return {decoder.predictor + effect.predictorChange, effect.nextStepIndex};
}

inline std::int64_t squared(std::int32_t error) {
    return static_cast<std::int64_t>(error) * error;
}

// Bins for telling paths apart: two paths with the same step index whose predictors lie in the
// same 64-wide bin stand for nearly the same future, so only the better one is kept. The state
// key numbers the bins, step index first: 0 to kStateKeys - 1.
constexpr int kPredictorBinShift = 6;
constexpr int kPredictorBins = 65536 >> kPredictorBinShift;
constexpr std::size_t kStateKeys = kAdpcmStepCount * kPredictorBins;

inline std::uint32_t stateKey(const DecoderState& decoder) {
    return static_cast<std::uint32_t>(decoder.stepIndex * kPredictorBins +
                                      ((decoder.predictor - kSampleMin) >> kPredictorBinShift));
}

// One kept code sequence: its squared error so far and the decoder's state at its end.
struct Path {
    std::int64_t error;
    DecoderState decoder;
};

// A fast stand-in for the greedy quantiser, used where only a good guess is needed (which levels
// to try, and the error still to come): the magnitude is the difference divided by the width's
// threshold spacing (step / 4 at 4 bits, step / 2 at 3, step at 2), by a multiplication with a
// reciprocal instead of comparisons. The thresholds are sums of rounded-down shares of the step,
// so near a threshold it may pick the neighbouring level.
constexpr int kReciprocalBits = 24;

constexpr std::array<std::uint32_t, kAdpcmStepCount> makeReciprocals() {
    std::array<std::uint32_t, kAdpcmStepCount> reciprocals{};
    for (std::size_t index = 0; index < kAdpcmStepCount; ++index) {
        reciprocals[index] = (std::uint32_t{1} << kReciprocalBits) /
                             static_cast<std::uint32_t>(kAdpcmStepSizes[index]);
    }
    return reciprocals;
}

constexpr auto kReciprocals = makeReciprocals();

template <int Bits>
inline int nearLevel(const DecoderState& decoder, std::int32_t sample) {
    const std::int32_t difference = sample - decoder.predictor;
    const std::int32_t belowMask = difference >> 31;
    const auto magnitude = static_cast<std::uint64_t>((difference ^ belowMask) - belowMask);
    const auto m = static_cast<std::int32_t>(std::min<std::uint64_t>(
        (magnitude * kReciprocals[static_cast<std::size_t>(decoder.stepIndex)]) >>
            (kReciprocalBits - (Bits - 2)),
        Width<Bits>::kMagnitudes - 1));
    return Width<Bits>::kMagnitudes + (m ^ belowMask);
}

// Calls body(j) for j = 0 to N - 1 as N copies of the body, each with j a constant, so that the
// work on a path's few levels becomes straight-line code without loop tests at every build type.
template <int N, typename Body>
inline void unrolled(Body&& body) {
    [&]<int... J>(std::integer_sequence<int, J...>) {
        (body(std::integral_constant<int, J>{}), ...);
    }
    (std::make_integer_sequence<int, N>{});
}

// Puts a and b in order; a plain select, which compiles to conditional moves, not a branch.
inline void orderPair(std::uint64_t& a, std::uint64_t& b) {
    const std::uint64_t low = b < a ? b : a;
    const std::uint64_t high = b < a ? a : b;
    a = low;
    b = high;
}

// Sorts three, four or five numbers with a fixed, minimal sequence of compare-and-swap steps.
template <std::size_t N>
inline void sortFew(std::array<std::uint64_t, N>& v) {
    static_assert(N >= 3 && N <= 5);
    if constexpr (N == 3) {
        orderPair(v[0], v[2]);
        orderPair(v[0], v[1]);
        orderPair(v[1], v[2]);
    } else if constexpr (N == 4) {
        orderPair(v[0], v[2]);
        orderPair(v[1], v[3]);
        orderPair(v[0], v[1]);
        orderPair(v[2], v[3]);
        orderPair(v[1], v[2]);
    } else {
        orderPair(v[0], v[3]);
        orderPair(v[1], v[4]);
        orderPair(v[0], v[2]);
        orderPair(v[1], v[3]);
        orderPair(v[0], v[1]);
        orderPair(v[2], v[4]);
        orderPair(v[1], v[2]);
        orderPair(v[3], v[4]);
        orderPair(v[2], v[3]);
    }
}

// The candidate extensions of one sample: each path with each of the levels tried around its
// greedy level, p * kTried + j standing for path p with level first[p] + j. A candidate's rank
// is its error plus the greedy coder's error on the samples that follow. An entry holds the rank
// shifted up by kCandidateBits and the candidate's number in the low bits, so that comparing
// entries compares ranks, ties broken by number.
constexpr int kMaxTried = 5;
constexpr int kCandidateBits = 9;
constexpr std::uint64_t kCandidateMask = (std::uint64_t{1} << kCandidateBits) - 1;
static_assert(kSearchMaxPaths * kMaxTried <= (1 << kCandidateBits));

// A rank no real candidate has: the error of a window of 200 samples stays below
// 200 * 65536^2 < 2^40, and the two look-ahead squares below 2^36 each (their predictors are not
// clamped, so they may pass 16 bits by up to two changes of at most 61436).
constexpr std::uint64_t kDropped = std::uint64_t{1} << 44;

struct Candidates {
    // Entry p * kTried + j: the j-th best ranked candidate of path p.
    std::array<std::uint64_t, kSearchMaxPaths * kMaxTried> ranked;
    std::array<int, kSearchMaxPaths> first;  // the lowest level tried for each path
};

// Ranks every path's candidates for one sample. Path 0 is the greedy encoder's own sequence;
// its greedy extension, which the caller keeps anyway, is ranked kDropped.
template <int Bits, int Ahead>
inline void rankCandidates(std::int32_t sample, const std::int16_t* ahead, const Path* paths,
                           int pathCount, int greedy, Candidates& candidates) {
    constexpr int kLevels = Width<Bits>::kLevels;
    constexpr int kTried = Width<Bits>::kTried;
    for (int p = 0; p < pathCount; ++p) {
        const Path path = paths[p];
        const int center = p == 0 ? greedy : nearLevel<Bits>(path.decoder, sample);
        const int first = std::clamp(center - kTried / 2, 0, kLevels - kTried);
        candidates.first[static_cast<std::size_t>(p)] = first;
        // The levels are worked on side by side, without a test between them, so that their
        // chains of table lookups overlap.
        std::array<DecoderState, kTried> future;
        std::array<std::uint64_t, kTried> rank;
        unrolled<kTried>([&](auto j) {
            future[j] = roughlyAfterLevel<Bits>(path.decoder, first + j);
            rank[j] =
                static_cast<std::uint64_t>(path.error + squared(sample - future[j].predictor));
        });
        unrolled<Ahead>([&](auto k) {
            unrolled<kTried>([&](auto j) {
                future[j] =
                    roughlyAfterLevel<Bits>(future[j], nearLevel<Bits>(future[j], ahead[k]));
                rank[j] += static_cast<std::uint64_t>(squared(ahead[k] - future[j].predictor));
            });
        });
        if (p == 0) {
            rank[static_cast<std::size_t>(greedy - first)] = kDropped;
        }
        unrolled<kTried>([&](auto j) {
            rank[j] = (rank[j] << kCandidateBits) | static_cast<std::uint64_t>(p * kTried + j);
        });
        sortFew(rank);
        std::copy(rank.begin(), rank.end(), candidates.ranked.begin() + p * kTried);
    }
}

// A binary min-heap holding, for each path, its best ranked candidate not yet taken: the rank
// bits of its entry and its position in Candidates::ranked.
class Frontier {
  public:
    [[nodiscard]] bool empty() const { return size_ == 0; }
    [[nodiscard]] std::uint64_t top() const { return heap_[0]; }

    void push(std::uint64_t entry) {
        std::size_t at = size_++;
        while (at > 0 && heap_[(at - 1) / 2] > entry) {
            heap_[at] = heap_[(at - 1) / 2];
            at = (at - 1) / 2;
        }
        heap_[at] = entry;
    }

    // Replaces the top by entry.
    void replaceTop(std::uint64_t entry) {
        std::size_t at = 0;
        for (;;) {
            std::size_t child = 2 * at + 1;
            if (child >= size_) {
                break;
            }
            if (child + 1 < size_ && heap_[child + 1] < heap_[child]) {
                ++child;
            }
            if (heap_[child] >= entry) {
                break;
            }
            heap_[at] = heap_[child];
            at = child;
        }
        heap_[at] = entry;
    }

    void pop() {
        --size_;
        if (size_ > 0) {
            replaceTop(heap_[size_]);
        }
    }

  private:
    std::array<std::uint64_t, kSearchMaxPaths> heap_;
    std::size_t size_ = 0;
};

// What a search needs besides the samples: the encoder's buffers, sized once.
struct SearchBuffers {
    int paths;             // paths kept, 1 to kSearchMaxPaths
    std::uint16_t* steps;  // kSearchWindowSamples * paths entries
    std::uint8_t* levels;  // kSearchWindowSamples entries
    std::uint16_t* twins;  // kStateKeys entries
    std::uint16_t* stamp;  // marks the twins entries of the current sample
};

// Extends every path by one sample; returns the number of paths after it. Path 0 is the greedy
// encoder's own sequence and stays so. The others are the best ranked candidates, taken in order
// of rank by merging the paths' ranked lists, each only if no path taken before has its state
// key: twins holds the current stamp for the keys taken, so the table needs no clearing between
// samples. steps receives each new path's origin.
template <int Bits, int Ahead>
inline int searchSample(const std::int16_t* samples, int n, const Path* paths, int pathCount,
                        Path* next, std::uint16_t* steps, Candidates& candidates,
                        const SearchBuffers& buffers) {
    constexpr int kTried = Width<Bits>::kTried;
    const std::int32_t sample = samples[n];
    const int greedy =
        greedyLevel<Bits>(paths[0].decoder.predictor, paths[0].decoder.stepIndex, sample);
    const DecoderState greedyDecoder = afterLevel<Bits>(paths[0].decoder, greedy);
    next[0] = {paths[0].error + squared(sample - greedyDecoder.predictor), greedyDecoder};
    steps[0] = static_cast<std::uint16_t>(greedy);
    if (buffers.paths == 1) {
        return 1;
    }

    rankCandidates<Bits, Ahead>(sample, samples + n + 1, paths, pathCount, greedy, candidates);
    if (++*buffers.stamp == 0) {
        std::fill_n(buffers.twins, kStateKeys, 0);  // every 65535 samples, stamps start afresh
        *buffers.stamp = 1;
    }
    const std::uint16_t stamp = *buffers.stamp;
    buffers.twins[stateKey(greedyDecoder)] = stamp;

    // Frontier entries: an entry's rank bits, then its position in candidates.ranked.
    const auto frontierEntry = [&](int position) {
        return (candidates.ranked[static_cast<std::size_t>(position)] & ~kCandidateMask) |
               static_cast<std::uint64_t>(position);
    };
    Frontier frontier;
    for (int p = 0; p < pathCount; ++p) {
        frontier.push(frontierEntry(p * kTried));
    }
    int count = 1;
    while (count < buffers.paths && !frontier.empty()) {
        const std::uint64_t entry = frontier.top();
        if ((entry >> kCandidateBits) >= kDropped) {
            break;  // only dropped ones are left
        }
        const auto position = static_cast<int>(entry & kCandidateMask);
        if ((position + 1) % kTried != 0) {
            frontier.replaceTop(frontierEntry(position + 1));
        } else {
            frontier.pop();
        }
        const auto candidate = static_cast<int>(
            candidates.ranked[static_cast<std::size_t>(position)] & kCandidateMask);
        const int p = candidate / kTried;
        const int level = candidates.first[static_cast<std::size_t>(p)] + candidate % kTried;
        const DecoderState decoder = afterLevel<Bits>(paths[p].decoder, level);
        std::uint16_t& twin = buffers.twins[stateKey(decoder)];
        if (twin != stamp) {
            twin = stamp;
            next[count] = {paths[p].error + squared(sample - decoder.predictor), decoder};
            steps[count] = static_cast<std::uint16_t>(p * 16 + level);
            ++count;
        }
    }
    return count;
}

// Searches one window and writes the chosen sequence's levels to buffers.levels.
template <int Bits>
void searchWindow(const std::int16_t* samples, int count, DecoderState start,
                  const SearchBuffers& buffers) {
    std::array<Path, kSearchMaxPaths> pathBuffers[2];
    Path* paths = pathBuffers[0].data();
    Path* next = pathBuffers[1].data();
    Candidates candidates;
    paths[0] = {0, start};
    int pathCount = 1;
    const auto stepsAt = [&](int n) {
        return buffers.steps + static_cast<std::ptrdiff_t>(n) * buffers.paths;
    };
    // Each sample's ranking looks kAhead samples further, fewer at the end of the window.
    constexpr int kAhead = Width<Bits>::kAhead;
    const auto step = [&]<int Ahead>(int n) {
        pathCount = searchSample<Bits, Ahead>(samples, n, paths, pathCount, next, stepsAt(n),
                                              candidates, buffers);
        std::swap(paths, next);
    };
    int n = 0;
    for (; n + kAhead < count; ++n) {
        step.template operator()<kAhead>(n);
    }
    for (; n < count; ++n) {
        unrolled<kAhead>([&](auto ahead) {
            if (count - 1 - n == ahead) {
                step.template operator()<ahead>(n);
            }
        });
    }
    std::swap(paths, next);  // next holds the paths after the last sample

    // The least error wins; on a tie the earlier path, so the greedy sequence (path 0).
    int best = 0;
    for (int p = 1; p < pathCount; ++p) {
        if (next[p].error < next[best].error) {
            best = p;
        }
    }
    for (int k = count - 1; k >= 0; --k) {
        const std::uint16_t step = stepsAt(k)[best];
        buffers.levels[k] = static_cast<std::uint8_t>(step & 15u);
        best = step >> 4;
    }
}

// Replays the chosen levels as the decoder does, writes the packed codes and, when asked, the
// reconstructed samples; returns the decoder's state and the last code in 4-bit form.
template <int Bits>
AdpcmState emitWindow(const std::uint8_t* levels, int count, AdpcmState state, std::uint8_t* out,
                      std::int16_t* reconstructed) {
    DecoderState decoder{state.predictor, state.stepIndex};
    std::uint32_t lastCode = static_cast<std::uint32_t>(state.lastCode);
    // Eight codes of Bits bits fill exactly Bits bytes, written low byte first.
    for (int group = 0; group < count; group += 8) {
        const int inGroup = std::min(8, count - group);
        std::uint32_t packed = 0;
        for (int k = 0; k < inGroup; ++k) {
            const int level = levels[group + k];
            decoder = afterLevel<Bits>(decoder, level);
            if (reconstructed != nullptr) {
                reconstructed[group + k] = static_cast<std::int16_t>(decoder.predictor);
            }
            lastCode = codeOfLevel<Bits>(level);
            packed |= (lastCode >> (4 - Bits)) << (k * Bits);
        }
        const int bytes = (inGroup * Bits + 7) / 8;
        for (int byte = 0; byte < bytes; ++byte) {
            *out++ = static_cast<std::uint8_t>(packed >> (8 * byte));
        }
    }
    return {static_cast<std::int16_t>(decoder.predictor),
            static_cast<std::int16_t>(decoder.stepIndex), static_cast<std::int16_t>(lastCode)};
}

template <int Bits>
AdpcmState encodeAtWidth(const std::int16_t* samples, std::uint8_t* out, int count,
                         AdpcmState state, const SearchBuffers& buffers,
                         std::int16_t* reconstructed) {
    for (int done = 0; done < count; done += kSearchWindowSamples) {
        const int window = std::min<int>(kSearchWindowSamples, count - done);
        searchWindow<Bits>(samples + done, window, DecoderState{state.predictor, state.stepIndex},
                           buffers);
        // Windows are whole Frames, whose codes end on a byte boundary at every width.
        state = emitWindow<Bits>(buffers.levels, window, state, out + done * Bits / 8,
                                 reconstructed != nullptr ? reconstructed + done : nullptr);
    }
    return state;
}

}  // namespace

SearchAdpcmEncoder::SearchAdpcmEncoder(std::int16_t paths)
    : paths_(paths == kSearchPathsByWidth ? kSearchPathsByWidth
                                          : std::clamp<std::int16_t>(paths, 1, kSearchMaxPaths)),
      steps_(static_cast<std::size_t>(kSearchWindowSamples) *
             static_cast<std::size_t>(std::max({pathsAt(2), pathsAt(3), pathsAt(4)}))),
      levels_(static_cast<std::size_t>(kSearchWindowSamples)),
      twins_(kStateKeys) {}

void SearchAdpcmEncoder::reset() {
    state_ = AdpcmState{};
}

void SearchAdpcmEncoder::setState(const AdpcmState& state) {
    AdpcmEncoder clamp;
    clamp.setState(state);
    state_ = clamp.state();
}

void SearchAdpcmEncoder::encodeFrame(const std::int16_t* samples, std::uint8_t* out,
                                     std::int16_t count, std::int16_t bitsPerSample) {
    encodeFrame(samples, out, count, bitsPerSample, nullptr);
}

void SearchAdpcmEncoder::encodeFrame(const std::int16_t* samples, std::uint8_t* out,
                                     std::int16_t count, std::int16_t bitsPerSample,
                                     std::int16_t* reconstructed) {
    if (count <= 0 || bitsPerSample < 1 || bitsPerSample > 4) {
        return;
    }
    const SearchBuffers buffers{pathsAt(bitsPerSample), steps_.data(), levels_.data(),
                                twins_.data(), &stamp_};
    switch (bitsPerSample) {
        case 4:
            state_ = encodeAtWidth<4>(samples, out, count, state_, buffers, reconstructed);
            break;
        case 3:
            state_ = encodeAtWidth<3>(samples, out, count, state_, buffers, reconstructed);
            break;
        case 2:
            state_ = encodeAtWidth<2>(samples, out, count, state_, buffers, reconstructed);
            break;
        default: {
            // Delta modulation keeps the last code's sign in its state; it is coded greedily.
            AdpcmEncoder greedy;
            greedy.setState(state_);
            greedy.encodeFrame(samples, out, count, bitsPerSample, reconstructed);
            state_ = greedy.state();
            break;
        }
    }
}

}  // namespace zelvio
