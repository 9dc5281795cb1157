#include "coding/adpcm.h"

#include <algorithm>
#include <cstddef>

#include "coding/adpcm_tables.h"

namespace zelvio {
namespace {

// The coder's state in working form for the length of one call. step always equals
// kAdpcmStepSizes[stepIndex]; it is looked up once per sample, after the index changes.
struct Channel {
    std::int32_t predictor;
    std::int32_t stepIndex;
    std::int32_t step;
    std::uint32_t lastCode;  // 4-bit form
};

constexpr std::int32_t kSampleMin = -32768;
constexpr std::int32_t kSampleMax = 32767;

constexpr std::int32_t clampToSample(std::int32_t value) {
    return std::clamp(value, kSampleMin, kSampleMax);
}

Channel load(const AdpcmState& state) {
    return Channel{state.predictor, state.stepIndex,
                   kAdpcmStepSizes[static_cast<std::size_t>(state.stepIndex)],
                   static_cast<std::uint32_t>(state.lastCode)};
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

// All ones when bit is set, else zero: lets a conditional add become an AND.
constexpr std::int32_t maskOf(std::uint32_t bit) {
    return -static_cast<std::int32_t>(bit & 1u);
}

// Reconstruction and step adaptation, shared by encoder and decoder. code is in 4-bit form: sign
// in bit 3, then the "reached step", "reached step/2" and "reached step/4" bits. Reads nothing
// of the sample, which is why a decoder can follow the encoder from the codes alone.
template <int Bits>
inline void applyCode(Channel& channel, std::uint32_t code) {
    const std::int32_t step = channel.step;
    // r is the quantised magnitude plus half of its last step, the midpoint of the interval the
    // magnitude bits describe: step >> (Bits - 1) to start, then step, step/2, step/4 per bit.
    std::int32_t r;
    if constexpr (Bits == 1) {
        r = step;
    } else {
        r = (step >> (Bits - 1)) + (step & maskOf(code >> 2));
        if constexpr (Bits >= 3) {
            r += (step >> 1) & maskOf(code >> 1);
        }
        if constexpr (Bits >= 4) {
            r += (step >> 2) & maskOf(code);
        }
    }
    // Both operands fit in 17 bits, so the 32-bit sum cannot overflow before the clamp.
    const std::int32_t below = maskOf(code >> 3);
    channel.predictor = clampToSample(channel.predictor + ((r ^ below) - below));

    std::int32_t index;
    if constexpr (Bits == 1) {
        // Delta modulation: the step grows while the slope keeps its sign and shrinks on a turn.
        index = channel.stepIndex + (((channel.lastCode ^ code) & 8u) != 0 ? -2 : 2);
    } else {
        index = channel.stepIndex + kAdpcmIndexAdjustments[code];
    }
    channel.stepIndex = std::clamp<std::int32_t>(index, 0, kAdpcmMaxStepIndex);
    channel.step = kAdpcmStepSizes[static_cast<std::size_t>(channel.stepIndex)];
    channel.lastCode = code;
}

// The encoder's quantiser: the 4-bit form of the code for one sample. The magnitude is compared
// with step, step/2 and step/4 in turn, keeping the remainder, for as many bits as the width has.
template <int Bits>
inline std::uint32_t quantise(const Channel& channel, std::int32_t sample) {
    const std::int32_t difference = clampToSample(sample - channel.predictor);
    const std::uint32_t sign = difference < 0 ? 8u : 0u;
    if constexpr (Bits == 1) {
        return 4u | sign;
    } else {
        std::int32_t magnitude = difference < 0 ? -difference : difference;  // 0 to 32768
        std::int32_t trial = channel.step;
        std::uint32_t code = sign;
        for (int bit = 0; bit < Bits - 1; ++bit) {
            const bool reached = magnitude >= trial;
            code |= static_cast<std::uint32_t>(reached) << (2 - bit);
            magnitude -= trial & maskOf(reached);
            trial >>= 1;
        }
        return code;
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
inline std::uint32_t encodeGroup(Channel& channel, const std::int16_t* samples, int sampleCount,
                                 std::int16_t* reconstructed) {
    std::uint32_t packed = 0;
    for (int k = 0; k < sampleCount; ++k) {
        const std::uint32_t code = quantise<Bits>(channel, samples[k]);
        applyCode<Bits>(channel, code);
        if constexpr (Record) {
            reconstructed[k] = static_cast<std::int16_t>(channel.predictor);
        }
        packed |= emitted<Bits>(code) << (k * Bits);
    }
    return packed;
}

template <int Bits, bool Record>
void encodeSamples(Channel& channel, const std::int16_t* samples, std::uint8_t* out, int count,
                   std::int16_t* reconstructed) {
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
void decodeSamples(Channel& channel, const std::uint8_t* in, std::int16_t* out, int count) {
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
