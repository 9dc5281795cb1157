#include "coding/adpcm.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <utility>

#include "coding/adpcm_tables.h"

namespace zelvio {
namespace {

constexpr std::int32_t kSampleMin = -32768;
constexpr std::int32_t kSampleMax = 32767;

constexpr std::int32_t clampToSample(std::int32_t value) {
    return std::clamp(value, kSampleMin, kSampleMax);
}

// All ones when bit is set, else zero: lets a conditional add become an AND.
constexpr std::int32_t maskOf(std::uint32_t bit) {
    return -static_cast<std::int32_t>(bit & 1u);
}

// The reconstructed difference r for the magnitude bits of a code in 4-bit form (bit 2 "reached
// step", bit 1 "reached step/2", bit 0 "reached step/4"): the quantised magnitude plus half of
// the last step the width resolves, so the midpoint of the interval the bits describe. It starts
// at step >> (bits - 1) and adds step, step/2 and step/4 for the bits that are set. At 1 bit the
// magnitude is not coded and r is the step itself.
constexpr std::int32_t reconstructedDifference(std::int32_t step, std::uint32_t code, int bits) {
    if (bits == 1) {
        return step;
    }
    return (step >> (bits - 1)) + (step & maskOf(code >> 2)) + ((step >> 1) & maskOf(code >> 1)) +
           ((step >> 2) & maskOf(code));
}

// What one code does to the state at widths 2 to 4, for every step index and every code in 4-bit
// form: the signed change of the predictor (r, negated when the sign bit is set) and the next
// step index (the index adjustment added and clamped to 0 to 88). Built at compile time from the
// two tables, so that one lookup replaces the reconstruction arithmetic, the index table and the
// clamp, which keeps the per-sample work and dependency chain short.
struct CodeEffect {
    std::int32_t predictorChange;  // magnitude up to 32767 + 16383 + 8191 + 4095, beyond 16 bits
    std::int32_t nextStepIndex;
};
static_assert(sizeof(CodeEffect) == 8, "entries are addressed by a shift");

constexpr std::size_t kCodeCount = 16;

template <int Bits>
constexpr std::array<CodeEffect, kAdpcmStepCount * kCodeCount> makeCodeEffects() {
    std::array<CodeEffect, kAdpcmStepCount * kCodeCount> effects{};
    for (std::size_t index = 0; index < kAdpcmStepCount; ++index) {
        for (std::uint32_t code = 0; code < kCodeCount; ++code) {
            const std::int32_t r = reconstructedDifference(kAdpcmStepSizes[index], code, Bits);
            effects[index * kCodeCount + code] = {
                (code & 8u) != 0 ? -r : r,
                std::clamp<std::int32_t>(
                    static_cast<std::int32_t>(index) + kAdpcmIndexAdjustments[code], 0,
                    kAdpcmMaxStepIndex)};
        }
    }
    return effects;
}

template <int Bits>
constexpr auto kCodeEffects = makeCodeEffects<Bits>();

static_assert(kCodeEffects<4>[0 * kCodeCount + 8].nextStepIndex == 0, "-1 clamps at 0");
static_assert(kCodeEffects<4>[88 * kCodeCount + 7].nextStepIndex == 88, "+8 clamps at 88");
static_assert(kCodeEffects<4>[0 * kCodeCount + 7].predictorChange == 0 + 7 + 3 + 1);
static_assert(kCodeEffects<4>[16 * kCodeCount + 11].predictorChange == -(4 + 17 + 8));
static_assert(kCodeEffects<3>[0 * kCodeCount + 6].predictorChange == 1 + 7 + 3);
static_assert(kCodeEffects<2>[88 * kCodeCount + 12].predictorChange == -(16383 + 32767));

// The quantiser's comparison values for every step index. Successive approximation, comparing
// the magnitude with step, then the remainder with step >> 1, then with step >> 2, picks the
// largest m whose threshold T(m) = (m & 4 ? step : 0) + (m & 2 ? step >> 1 : 0) +
// (m & 1 ? step >> 2 : 0) the magnitude reaches; as T rises with m ((step >> 1) + (step >> 2) <
// step), that m is simply the number of thresholds T(1) to T(7) reached. Counting them needs no
// comparison's result for the next one.
//
// The difference is clamped to -32768..32767 before quantising, so a magnitude never exceeds
// 32767 (32768 for a negative difference). A threshold above 32767 is therefore unreachable and
// is stored as kUnreachable, above any unclamped magnitude (at most 65535): comparing the
// unclamped magnitude with the stored thresholds gives the same m as clamping first. No
// threshold is exactly 32768 (checked below), the one value where the clamp would depend on the
// sign.
constexpr std::int32_t kUnreachable = 65536;
constexpr std::size_t kThresholdSlots = 8;  // T(1) to T(7) in slots 1 to 7; slot 0 unused

constexpr std::array<std::int32_t, kAdpcmStepCount * kThresholdSlots> makeThresholds() {
    std::array<std::int32_t, kAdpcmStepCount * kThresholdSlots> thresholds{};
    for (std::size_t index = 0; index < kAdpcmStepCount; ++index) {
        const std::int32_t step = kAdpcmStepSizes[index];
        for (std::uint32_t m = 1; m < kThresholdSlots; ++m) {
            const std::int32_t threshold = (step & maskOf(m >> 2)) +
                                           ((step >> 1) & maskOf(m >> 1)) +
                                           ((step >> 2) & maskOf(m));
            thresholds[index * kThresholdSlots + m] =
                threshold <= kSampleMax ? threshold : kUnreachable;
        }
    }
    return thresholds;
}

constexpr auto kThresholds = makeThresholds();

constexpr bool noThresholdIsExactly32768() {
    for (std::size_t index = 0; index < kAdpcmStepCount; ++index) {
        const std::int32_t step = kAdpcmStepSizes[index];
        for (const std::int32_t t :
             {step + (step >> 2), step + (step >> 1), step + (step >> 1) + (step >> 2)}) {
            if (t == 32768) {
                return false;
            }
        }
    }
    return true;
}
static_assert(noThresholdIsExactly32768());

// The coder's state in working form for the length of one call.
struct Channel {
    std::int32_t predictor;
    std::int32_t stepIndex;
    std::uint32_t lastCode;  // 4-bit form
};

Channel load(const AdpcmState& state) {
    return Channel{state.predictor, state.stepIndex, static_cast<std::uint32_t>(state.lastCode)};
}

AdpcmState store(const Channel& channel) {
    return AdpcmState{static_cast<std::int16_t>(channel.predictor),
                      static_cast<std::int16_t>(channel.stepIndex),
                      static_cast<std::int16_t>(channel.lastCode)};
}

AdpcmState sanitised(const AdpcmState& state) {
    return AdpcmState{
        state.predictor,
        std::clamp<std::int16_t>(state.stepIndex, 0, kAdpcmMaxStepIndex),
        static_cast<std::int16_t>(state.lastCode & 15),
    };
}

// Reconstruction and step adaptation, shared by encoder and decoder. code is in 4-bit form: sign
// in bit 3, then the magnitude bits. Reads nothing of the sample, which is why a decoder can
// follow the encoder from the codes alone.
template <int Bits>
inline void applyCode(Channel& channel, std::uint32_t code) {
    std::int32_t predictor;
    if constexpr (Bits == 1) {
        const std::int32_t r = reconstructedDifference(
            kAdpcmStepSizes[static_cast<std::size_t>(channel.stepIndex)], code, 1);
        predictor = channel.predictor + ((code & 8u) != 0 ? -r : r);
        // Delta modulation: the step grows while the slope keeps its sign and shrinks on a turn.
        const std::int32_t index =
            channel.stepIndex + (((channel.lastCode ^ code) & 8u) != 0 ? -2 : 2);
        channel.stepIndex = std::clamp<std::int32_t>(index, 0, kAdpcmMaxStepIndex);
    } else {
        const CodeEffect& effect =
            kCodeEffects<Bits>[static_cast<std::size_t>(channel.stepIndex) * kCodeCount + code];
        predictor = channel.predictor + effect.predictorChange;
        channel.stepIndex = effect.nextStepIndex;
    }
    // Both terms fit in 17 bits, so the 32-bit sum cannot overflow. The clamp rarely acts, so it
    // is a branch the processor predicts rather than a step in every sample's dependency chain.
    if (predictor > kSampleMax || predictor < kSampleMin) [[unlikely]] {
        predictor = clampToSample(predictor);
    }
    channel.predictor = predictor;
    channel.lastCode = code;
}

// The encoder's quantiser: the 4-bit form of the code for one sample (see kThresholds).
template <int Bits>
inline std::uint32_t quantise(const Channel& channel, std::int32_t sample) {
    // Sign and magnitude without a branch: the sign of an audio difference is a coin toss that a
    // branch predictor would lose half the time. The difference is not clamped yet (see
    // kThresholds), so the magnitude is 0 to 65535.
    const std::int32_t difference = sample - channel.predictor;
    const std::int32_t belowMask = difference >> 31;  // all ones when the sample is below
    const auto sign = static_cast<std::uint32_t>(belowMask) & 8u;
    if constexpr (Bits == 1) {
        return 4u | sign;
    } else {
        const std::int32_t magnitude = (difference ^ belowMask) - belowMask;
        const std::int32_t* threshold =
            &kThresholds[static_cast<std::size_t>(channel.stepIndex) * kThresholdSlots];
        const auto reached = [magnitude, threshold](int m) {
            return static_cast<std::uint32_t>(magnitude >= threshold[m]);
        };
        if constexpr (Bits == 2) {
            return sign | (reached(4) << 2);
        } else if constexpr (Bits == 3) {
            return sign | ((reached(2) + reached(4) + reached(6)) << 1);
        } else {
            return sign | ((reached(1) + reached(2)) + (reached(3) + reached(4)) +
                           ((reached(5) + reached(6)) + reached(7)));
        }
    }
}

// The emitted code keeps the top Bits bits of the 4-bit form, so its top bit is the sign.
template <int Bits>
constexpr std::uint32_t emitted(std::uint32_t code) {
    return code >> (4 - Bits);
}

// The inverse of emitted(); at 1 bit the "reached step" bit is always set.
template <int Bits>
constexpr std::uint32_t fourBitForm(std::uint32_t emittedCode) {
    return (emittedCode << (4 - Bits)) | (Bits == 1 ? 4u : 0u);
}

constexpr std::uint32_t kCodeMask[5] = {0, 0x1, 0x3, 0x7, 0xF};

// Eight codes of Bits bits fill exactly Bits bytes, so the samples go in groups of eight: the
// group's codes are gathered in a 32-bit word and stored byte by byte, low byte first.
constexpr int kGroupSamples = 8;

template <int Bits, bool Record>
inline std::uint32_t encodeOne(Channel& channel, std::int16_t sample, std::int16_t* reconstructed) {
    const std::uint32_t code = quantise<Bits>(channel, sample);
    applyCode<Bits>(channel, code);
    if constexpr (Record) {
        *reconstructed = static_cast<std::int16_t>(channel.predictor);
    }
    return emitted<Bits>(code);
}

// A full group, written out sample by sample so that every shift is a constant.
template <int Bits, bool Record, int... K>
inline std::uint32_t encodeFullGroup(Channel& channel, const std::int16_t* samples,
                                     std::int16_t* reconstructed,
                                     std::integer_sequence<int, K...> /*positions*/) {
    std::uint32_t packed = 0;
    ((packed |= encodeOne<Bits, Record>(channel, samples[K], Record ? reconstructed + K : nullptr)
                << (K * Bits)),
     ...);
    return packed;
}

template <int Bits, bool Record>
inline std::uint32_t encodeGroup(Channel& channel, const std::int16_t* samples, int sampleCount,
                                 std::int16_t* reconstructed) {
    if (sampleCount == kGroupSamples) {
        return encodeFullGroup<Bits, Record>(channel, samples, reconstructed,
                                             std::make_integer_sequence<int, kGroupSamples>{});
    }
    std::uint32_t packed = 0;
    for (int k = 0; k < sampleCount; ++k) {
        packed |= encodeOne<Bits, Record>(channel, samples[k], Record ? reconstructed + k : nullptr)
                  << (k * Bits);
    }
    return packed;
}

template <int Bits, bool Record>
void encodeSamples(Channel& state, const std::int16_t* samples, std::uint8_t* out, int count,
                   std::int16_t* reconstructed) {
    Channel channel = state;  // a local copy stays in registers
    int done = 0;
    for (; done + kGroupSamples <= count; done += kGroupSamples) {
        const std::uint32_t packed = encodeGroup<Bits, Record>(
            channel, samples + done, kGroupSamples, Record ? reconstructed + done : nullptr);
        for (int byte = 0; byte < Bits; ++byte) {
            *out++ = static_cast<std::uint8_t>(packed >> (8 * byte));
        }
    }
    const int rest = count - done;
    if (rest > 0) {
        // Writing, not ORing, the partial last byte leaves its unused bits 0.
        const std::uint32_t packed = encodeGroup<Bits, Record>(
            channel, samples + done, rest, Record ? reconstructed + done : nullptr);
        const int restBytes = (rest * Bits + 7) / 8;
        for (int byte = 0; byte < restBytes; ++byte) {
            *out++ = static_cast<std::uint8_t>(packed >> (8 * byte));
        }
    }
    state = channel;
}

template <int Bits>
inline void decodeGroup(Channel& channel, std::uint32_t packed, std::int16_t* out,
                        int sampleCount) {
    for (int k = 0; k < sampleCount; ++k) {
        const std::uint32_t code = fourBitForm<Bits>((packed >> (k * Bits)) & kCodeMask[Bits]);
        applyCode<Bits>(channel, code);
        out[k] = static_cast<std::int16_t>(channel.predictor);
    }
}

template <int Bits>
void decodeSamples(Channel& state, const std::uint8_t* in, std::int16_t* out, int count) {
    Channel channel = state;  // a local copy stays in registers
    int done = 0;
    for (; done + kGroupSamples <= count; done += kGroupSamples) {
        std::uint32_t packed = 0;
        for (int byte = 0; byte < Bits; ++byte) {
            packed |= static_cast<std::uint32_t>(*in++) << (8 * byte);
        }
        decodeGroup<Bits>(channel, packed, out + done, kGroupSamples);
    }
    const int rest = count - done;
    if (rest > 0) {
        std::uint32_t packed = 0;
        const int restBytes = (rest * Bits + 7) / 8;
        for (int byte = 0; byte < restBytes; ++byte) {
            packed |= static_cast<std::uint32_t>(*in++) << (8 * byte);
        }
        decodeGroup<Bits>(channel, packed, out + done, rest);
    }
    state = channel;
}

template <bool Record>
void encodeAtWidth(Channel& channel, const std::int16_t* samples, std::uint8_t* out, int count,
                   int bitsPerSample, std::int16_t* reconstructed) {
    switch (bitsPerSample) {
        case 4:
            encodeSamples<4, Record>(channel, samples, out, count, reconstructed);
            break;
        case 3:
            encodeSamples<3, Record>(channel, samples, out, count, reconstructed);
            break;
        case 2:
            encodeSamples<2, Record>(channel, samples, out, count, reconstructed);
            break;
        case 1:
            encodeSamples<1, Record>(channel, samples, out, count, reconstructed);
            break;
        default:
            break;
    }
}

bool inDomain(std::int16_t count, std::int16_t bitsPerSample) {
    return count > 0 && bitsPerSample >= 1 && bitsPerSample <= 4;
}

}  // namespace

void AdpcmEncoder::reset() {
    state_ = AdpcmState{};
}

void AdpcmEncoder::setState(const AdpcmState& state) {
    state_ = sanitised(state);
}

void AdpcmEncoder::encodeFrame(const std::int16_t* samples, std::uint8_t* out, std::int16_t count,
                               std::int16_t bitsPerSample) {
    if (!inDomain(count, bitsPerSample)) {
        return;
    }
    Channel channel = load(state_);
    encodeAtWidth<false>(channel, samples, out, count, bitsPerSample, nullptr);
    state_ = store(channel);
}

void AdpcmEncoder::encodeFrame(const std::int16_t* samples, std::uint8_t* out, std::int16_t count,
                               std::int16_t bitsPerSample, std::int16_t* reconstructed) {
    if (reconstructed == nullptr) {
        encodeFrame(samples, out, count, bitsPerSample);
        return;
    }
    if (!inDomain(count, bitsPerSample)) {
        return;
    }
    Channel channel = load(state_);
    encodeAtWidth<true>(channel, samples, out, count, bitsPerSample, reconstructed);
    state_ = store(channel);
}

void AdpcmDecoder::reset() {
    state_ = AdpcmState{};
}

void AdpcmDecoder::setState(const AdpcmState& state) {
    state_ = sanitised(state);
}

void AdpcmDecoder::decodeFrame(const std::uint8_t* in, std::int16_t* out, std::int16_t count,
                               std::int16_t bitsPerSample) {
    if (!inDomain(count, bitsPerSample)) {
        return;
    }
    Channel channel = load(state_);
    switch (bitsPerSample) {
        case 4:
            decodeSamples<4>(channel, in, out, count);
            break;
        case 3:
            decodeSamples<3>(channel, in, out, count);
            break;
        case 2:
            decodeSamples<2>(channel, in, out, count);
            break;
        default:
            decodeSamples<1>(channel, in, out, count);
            break;
    }
    state_ = store(channel);
}

}  // namespace zelvio
