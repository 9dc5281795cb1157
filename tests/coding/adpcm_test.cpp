#include "coding/adpcm.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "coding/adpcm_tables.h"
#include "coding/voice_activity_detector.h"

namespace zelvio {
namespace {

using Samples = std::vector<std::int16_t>;
using Bytes = std::vector<std::uint8_t>;

constexpr std::int16_t kFrame = 200;
constexpr std::int16_t kWidths[] = {4, 3, 2, 1};

// Encodes with the given encoder, returning exactly the coded bytes.
Bytes encode(AdpcmEncoder& encoder, const Samples& samples, std::int16_t bits) {
    const auto count = static_cast<std::int16_t>(samples.size());
    Bytes out(static_cast<std::size_t>(adpcmCodedSize(count, bits)));
    encoder.encodeFrame(samples.data(), out.data(), count, bits);
    return out;
}

// A direct transcription of the coding steps, one sample at a time, with a bit cursor and codes
// ORed into cleared bytes: an oracle for the table-driven coder.
struct ReferenceEncoder {
    std::int32_t predictor = 0;
    std::int32_t stepIndex = 0;
    std::int32_t lastCode = 0;

    // Codes one sample and returns its emitted code.
    int codeSample(std::int16_t sample, int bits) {
        const std::int32_t step = kAdpcmStepSizes[static_cast<std::size_t>(stepIndex)];
        const std::int32_t d = std::clamp(sample - predictor, -32768, 32767);
        const std::int32_t sign = d < 0 ? 8 : 0;
        std::int32_t magnitude = d < 0 ? -d : d;
        std::int32_t code = bits == 1 ? 4 : 0;
        std::int32_t r = bits == 1 ? step : step >> (bits - 1);
        for (std::int32_t i = 0, t = step; i < bits - 1; ++i, t >>= 1) {
            if (magnitude >= t) {
                code |= 4 >> i;
                magnitude -= t;
                r += t;
            }
        }
        predictor = std::clamp(sign ? predictor - r : predictor + r, -32768, 32767);
        code |= sign;
        const bool signFlip = bits == 1 && (lastCode & 8) != sign;
        stepIndex += signFlip ? -2 : kAdpcmIndexAdjustments[static_cast<std::size_t>(code)];
        stepIndex = std::clamp(stepIndex, 0, 88);
        lastCode = code;
        return code >> (4 - bits);
    }

    Bytes encode(const Samples& samples, int bits) {
        Bytes out((bits * samples.size() + 7) / 8, 0);
        for (std::size_t i = 0, at = 0; i < samples.size(); ++i, at += bits) {
            const int e = codeSample(samples[i], bits);
            out[at / 8] |= static_cast<std::uint8_t>(e << (at % 8));
            if (at % 8 + bits > 8) {
                out[at / 8 + 1] |= static_cast<std::uint8_t>(e >> (8 - at % 8));
            }
        }
        return out;
    }

    AdpcmState state() const {
        return {static_cast<std::int16_t>(predictor), static_cast<std::int16_t>(stepIndex),
                static_cast<std::int16_t>(lastCode)};
    }
};

// Deterministic signals. Values come from the raw generator output, not from the standard
// distributions, whose results differ between standard libraries.
class SignalMaker {
  public:
    explicit SignalMaker(std::uint32_t seed) : random_(seed) {}

    // Uniform over the whole 16-bit range, the harshest input for the clamps.
    Samples whiteNoise(std::size_t length) {
        return make(length, [&](std::size_t) { return random_() >> 16; });
    }

    // Low-level noise of at most +/-amplitude, which drives the step index to the bottom.
    Samples quietNoise(std::size_t length, std::uint32_t amplitude) {
        return make(length,
                    [&](std::size_t) { return random_() % (2 * amplitude + 1) - amplitude; });
    }

    // Full-scale square wave of a random period: the biggest differences the coder can meet.
    Samples square(std::size_t length) {
        const std::size_t half = 1 + random_() % 30;
        return make(length, [&](std::size_t i) { return (i / half) % 2 == 0 ? 32767u : 32768u; });
    }

    // Voiced bursts: two resonances excited by a pulse train and noise, under an envelope that
    // swells, clips at full scale now and then, and falls to pauses of near silence.
    Samples speechLike(std::size_t length) {
        double y1 = 0, y2 = 0, z1 = 0, z2 = 0, gain = 0, target = 0;
        const double f1 = 0.05 + 0.1 * unit(), f2 = 0.2 + 0.2 * unit();
        const double a1 = 2 * 0.97 * std::cos(f1 * 3.14159265),
                     a2 = 2 * 0.9 * std::cos(f2 * 3.14159265);
        const std::size_t pitch = 40 + random_() % 80;
        Samples s(length);
        for (std::size_t i = 0; i < length; ++i) {
            if (i % 400 == 0) {
                const std::uint32_t pick = random_() % 4;
                target = pick == 0 ? 0.0 : pick == 1 ? 0.02 : pick == 2 ? 0.3 : 3.0;
            }
            gain += (target - gain) * 0.01;
            const double excitation = (i % pitch == 0 ? 2000.0 : 0.0) + 200.0 * (unit() - 0.5);
            const double y = excitation + a1 * y1 - 0.97 * 0.97 * y2;
            y2 = std::exchange(y1, y);
            const double z = y + a2 * z1 - 0.81 * z2;
            z2 = std::exchange(z1, z);
            s[i] = static_cast<std::int16_t>(std::lround(std::clamp(gain * z, -32768.0, 32767.0)));
        }
        return s;
    }

  private:
    // Samples from the low 16 bits of each generated value, taken as two's complement.
    template <typename Next>
    static Samples make(std::size_t length, Next next) {
        Samples s(length);
        for (std::size_t i = 0; i < length; ++i) {
            s[i] = static_cast<std::int16_t>(static_cast<std::uint16_t>(next(i)));
        }
        return s;
    }

    double unit() { return static_cast<double>(random_() >> 8) / 16777216.0; }

    std::mt19937 random_;
};

std::vector<Samples> propertySignals() {
    std::vector<Samples> signals;
    for (std::uint32_t seed = 1; seed <= 12; ++seed) {
        SignalMaker maker(seed);
        signals.push_back(maker.whiteNoise(10 * kFrame));
        signals.push_back(maker.quietNoise(10 * kFrame, 1 + seed * 3));
        signals.push_back(maker.speechLike(20 * kFrame));
        signals.push_back(maker.square(10 * kFrame));
    }
    return signals;
}

// --- Worked examples -------------------------------------------------------------------------

TEST(AdpcmEncoder, CodesTheWorkedExamplesToTheirBytesAndState) {
    const Samples eight = {0, 20, 40, 10, -30, -60, 0, 5};
    const struct {
        std::int16_t bits;
        Samples samples;
        Bytes bytes;
        AdpcmState after;
    } examples[] = {{4, {0, 20, 40, 10}, {0x70, 0xB7}, {12, 15, 11}},
                    {3, eight, {0xD8, 0xEC, 0x0E}, {12, 20, 0}},
                    {2, eight, {0xD4, 0x1F}, {6, 11, 0}},
                    {1, eight, {0xB8}, {-7, 4, 12}}};
    for (const auto& example : examples) {
        SCOPED_TRACE(testing::Message() << example.bits << " bits");
        AdpcmEncoder encoder;
        encoder.reset();
        EXPECT_EQ(encode(encoder, example.samples, example.bits), example.bytes);
        EXPECT_EQ(encoder.state(), example.after);
    }
}

// One sample at a time, each code filling part of one byte whose rest is cleared; the decoder
// turns the three worked bytes back into the same predictors.
TEST(AdpcmCoders, FollowTheThreeBitWorkedExampleSampleBySample) {
    const struct {
        std::int16_t sample;
        std::uint8_t emitted;
        std::int16_t predictor, stepIndex;
    } steps[] = {{0, 0, 1, 0},      {20, 3, 12, 6},    {40, 3, 34, 12}, {10, 6, 6, 14},
                 {-30, 6, -29, 16}, {-60, 5, -54, 15}, {0, 3, -1, 21},  {5, 0, 12, 20}};
    AdpcmEncoder encoder;
    encoder.reset();
    AdpcmDecoder decoder;
    decoder.reset();
    const Bytes coded = {0xD8, 0xEC, 0x0E};
    Samples decoded(8);
    decoder.decodeFrame(coded.data(), decoded.data(), 8, 3);
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        SCOPED_TRACE(testing::Message() << "sample " << i);
        std::uint8_t byte = 0xFF;
        encoder.encodeFrame(&steps[i].sample, &byte, 1, 3);
        EXPECT_EQ(byte, steps[i].emitted);
        EXPECT_EQ(encoder.predictor(), steps[i].predictor);
        EXPECT_EQ(encoder.stepIndex(), steps[i].stepIndex);
        EXPECT_EQ(decoded[i], steps[i].predictor);
    }
    EXPECT_EQ(decoder.state(), (AdpcmState{12, 20, 0}));
}

// --- Clamps and bounds -----------------------------------------------------------------------

TEST(AdpcmEncoder, ClampsTheDifferenceBeforeQuantising) {
    AdpcmEncoder encoder;
    encoder.setState({32767, 88, 0});
    const Samples lowest = {-32768};
    // d = -65535 clamps to -32768: magnitude 32768 reaches only the full step 32767, whose
    // remainder 1 reaches neither half; r = 4095 + 32767.
    EXPECT_EQ(encode(encoder, lowest, 4), Bytes{0x0C});
    EXPECT_EQ(encoder.state(), (AdpcmState{-4095, 88, 12}));
    // d = -28673: reaches step/2 and step/4; r = 4095 + 16383 + 8191 = 28669.
    EXPECT_EQ(encode(encoder, lowest, 4), Bytes{0x0B});
    EXPECT_EQ(encoder.state(), (AdpcmState{-32764, 87, 11}));
    // A state handed in is clamped the same way.
    encoder.setState({100, 200, 0x7B});
    EXPECT_EQ(encoder.state(), (AdpcmState{100, 88, 11}));
    encoder.setState({-5, -3, 4});
    EXPECT_EQ(encoder.state(), (AdpcmState{-5, 0, 4}));
}

TEST(AdpcmEncoder, ClimbsToAndHoldsAFullScaleConstantFromReset) {
    AdpcmEncoder encoder;
    encoder.reset();
    const std::int16_t top = 32767;
    for (int i = 1; i <= 60; ++i) {
        SCOPED_TRACE(testing::Message() << "sample " << i);
        if (i == 11) {
            // r = 15289 >> 3 + 15289 >> 1 = 9555; 25039 + 9555 passes full scale and is clamped.
            EXPECT_EQ(encoder.predictor(), 25039);
        }
        std::uint8_t byte = 0xFF;
        encoder.encodeFrame(&top, &byte, 1, 4);
        EXPECT_EQ(byte, i <= 10 ? 7 : i == 11 ? 2 : 0);
        EXPECT_EQ(encoder.stepIndex(), i <= 10 ? 8 * i : 79 - (i - 11));
        if (i >= 11) {
            EXPECT_EQ(encoder.predictor(), 32767);
        }
    }
}

TEST(AdpcmEncoder, CodesTwoHundredZerosFromResetAtEachWidth) {
    const struct {
        std::int16_t bits;
        Bytes repeatingBytes;
        Samples repeatingPredictors;
        AdpcmState after;
    } cases[] = {{4, {0x00}, {0}, {0, 0, 0}},
                 {3, {0x20, 0x08, 0x82}, {1, 0}, {0, 0, 8}},
                 {2, {0x88}, {3, 0}, {0, 0, 8}}};
    const Samples zeros(kFrame, 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bits << " bits");
        AdpcmEncoder encoder;
        encoder.reset();
        Bytes out(static_cast<std::size_t>(adpcmCodedSize(kFrame, c.bits)));
        Samples predictors(kFrame);
        encoder.encodeFrame(zeros.data(), out.data(), kFrame, c.bits, predictors.data());
        Bytes bytes(static_cast<std::size_t>(kFrame * c.bits / 8));
        Samples expected(kFrame);
        for (std::size_t i = 0; i < expected.size(); ++i) {
            expected[i] = c.repeatingPredictors[i % c.repeatingPredictors.size()];
            if (i < bytes.size()) {
                bytes[i] = c.repeatingBytes[i % c.repeatingBytes.size()];
            }
        }
        EXPECT_EQ(out, bytes);
        EXPECT_EQ(predictors, expected);
        EXPECT_EQ(encoder.state(), c.after);
    }
}

TEST(AdpcmEncoder, KeepsTheStepIndexWithinTheTableAtEveryWidth) {
    for (const std::int16_t bits : kWidths) {
        // The index each signal ends on; -1: full-scale swings reach the top instead.
        const struct {
            Samples signal;
            std::int16_t heldIndex;
        } cases[] = {
            {Samples(1000, 0), 0},
            {SignalMaker(7).quietNoise(1000, 1), 0},
            {Samples(1000, 32767), static_cast<std::int16_t>(bits == 1 ? 88 : 0)},
            {SignalMaker(8).square(1000), -1},
        };
        for (std::size_t n = 0; n < std::size(cases); ++n) {
            SCOPED_TRACE(testing::Message() << bits << " bits, signal " << n);
            AdpcmEncoder encoder;
            encoder.reset();
            std::int16_t highest = 0;
            for (const std::int16_t sample : cases[n].signal) {
                std::uint8_t byte = 0;
                encoder.encodeFrame(&sample, &byte, 1, bits);
                ASSERT_GE(encoder.stepIndex(), 0);
                ASSERT_LE(encoder.stepIndex(), 88);
                highest = std::max(highest, encoder.stepIndex());
            }
            if (cases[n].heldIndex >= 0) {
                EXPECT_EQ(encoder.stepIndex(), cases[n].heldIndex);
            } else if (bits > 1) {
                EXPECT_EQ(highest, 88);
            }
        }
    }
}

// --- Frames and state --------------------------------------------------------------------------

TEST(AdpcmEncoder, CodesTwoFramesLikeOneCallOverBoth) {
    const Samples signal = SignalMaker(21).speechLike(2 * kFrame);
    const Samples first(signal.begin(), signal.begin() + kFrame);
    const Samples second(signal.begin() + kFrame, signal.end());
    for (const std::int16_t bits : kWidths) {
        SCOPED_TRACE(testing::Message() << bits << " bits");
        AdpcmEncoder whole;
        whole.reset();
        AdpcmEncoder framed;
        framed.reset();
        Bytes twice = encode(framed, first, bits);
        const Bytes rest = encode(framed, second, bits);
        twice.insert(twice.end(), rest.begin(), rest.end());
        EXPECT_EQ(twice, encode(whole, signal, bits));
        EXPECT_EQ(framed.state(), whole.state());
    }
}

TEST(AdpcmEncoder, CarriesItsStateAcrossASilenceChunk) {
    SignalMaker maker(5);
    const Samples loudA = maker.whiteNoise(kFrame);
    const Samples quietB(kFrame, 3);
    const Samples loudC = maker.whiteNoise(kFrame);
    // Codes C after the given Frames from reset.
    const auto codeC = [&](std::initializer_list<const Samples*> before, std::int16_t bits) {
        AdpcmEncoder encoder;
        encoder.reset();
        for (const Samples* frame : before) {
            encode(encoder, *frame, bits);
        }
        return encode(encoder, loudC, bits);
    };
    for (const std::int16_t bits : kWidths) {
        SCOPED_TRACE(testing::Message() << bits << " bits");
        // The job's loop: a detector with no hangover turns B into a silence chunk, so the
        // encoder never sees it.
        VoiceActivityDetector detector;
        detector.configure(1024, 256, 0);
        AdpcmEncoder encoder;
        encoder.reset();
        std::vector<Bytes> coded;
        for (const Samples* frame : {&loudA, &quietB, &loudC}) {
            std::uint8_t level = 0;
            if (detector.classifyFrame(frame->data(), level, kFrame) == 0) {
                coded.push_back(encode(encoder, *frame, bits));
            }
        }
        ASSERT_EQ(coded.size(), 2u);
        EXPECT_EQ(coded[1], codeC({&loudA}, bits));
        // Had B been coded, C would differ: the state really is carried.
        EXPECT_NE(coded[1], codeC({&loudA, &quietB}, bits));
    }
}

// Every difference the coder can meet, at every step index: with the predictor at either end of
// the range, the samples -32768 to 32767 give differences from -65535 to 65535, clamped or not.
TEST(AdpcmEncoder, QuantisesEveryDifferenceAtEveryStepLikeThePlainCoder) {
    for (const std::int16_t bits : {std::int16_t{4}, std::int16_t{3}, std::int16_t{2}}) {
        for (const std::int16_t predictor : {std::int16_t{-32768}, std::int16_t{32767}}) {
            for (std::int16_t index = 0; index <= kAdpcmMaxStepIndex; ++index) {
                SCOPED_TRACE(testing::Message() << bits << " bits, predictor " << predictor
                                                << ", step index " << index);
                for (std::int32_t value = -32768; value <= 32767; ++value) {
                    const auto sample = static_cast<std::int16_t>(value);
                    AdpcmEncoder encoder;
                    encoder.setState({predictor, index, 0});
                    std::uint8_t byte = 0;
                    encoder.encodeFrame(&sample, &byte, 1, bits);
                    ReferenceEncoder reference{predictor, index, 0};
                    const int expected = reference.codeSample(sample, bits);
                    if (byte != expected || encoder.state() != reference.state()) {
                        FAIL() << "sample " << value << ": code " << int{byte} << ", expected "
                               << expected;
                    }
                }
            }
        }
    }
}

// --- Odd sizes and the domain ----------------------------------------------------------------

TEST(AdpcmEncoder, ClearsThePartialLastByteAndWritesNothingBeyondIt) {
    for (const std::int16_t bits : kWidths) {
        for (std::int16_t count = 1; count <= 17; ++count) {
            SCOPED_TRACE(testing::Message() << bits << " bits, " << count << " samples");
            const Samples signal = SignalMaker(static_cast<std::uint32_t>(count))
                                       .whiteNoise(static_cast<std::size_t>(count));
            // The oracle's bytes start cleared: unused high bits of the last byte stay 0.
            Bytes out(static_cast<std::size_t>(adpcmCodedSize(count, bits)) + 4, 0xFF);
            AdpcmEncoder encoder;
            encoder.reset();
            encoder.encodeFrame(signal.data(), out.data(), count, bits);
            ReferenceEncoder reference;
            Bytes expected = reference.encode(signal, bits);
            expected.insert(expected.end(), 4, 0xFF);
            EXPECT_EQ(out, expected);
        }
    }
}

TEST(AdpcmEncoder, IgnoresAnEmptyCountOrAnUnknownWidth) {
    const struct {
        std::int16_t count;
        std::int16_t bits;
    } cases[] = {{0, 4}, {-5, 4}, {8, 0}, {8, 5}, {8, 8}, {8, -1}};
    const Samples signal = SignalMaker(3).whiteNoise(8);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.count << " samples at " << c.bits << " bits");
        AdpcmEncoder encoder;
        encoder.setState({123, 45, 6});
        Bytes out(8, 0xEE);
        encoder.encodeFrame(signal.data(), out.data(), c.count, c.bits);
        Samples reconstructed(8, 77);
        encoder.encodeFrame(signal.data(), out.data(), c.count, c.bits, reconstructed.data());
        EXPECT_EQ(out, Bytes(8, 0xEE));
        EXPECT_EQ(reconstructed, Samples(8, 77));
        EXPECT_EQ(encoder.state(), (AdpcmState{123, 45, 6}));
        EXPECT_EQ(adpcmCodedSize(c.count, c.bits), 0);
    }
}

// --- Oracle and round trip -------------------------------------------------------------------

// On many signals, Frame after Frame: the coder matches the plain one-sample-at-a-time coder
// whether or not it reports its reconstruction, and the decoder reproduces that reconstruction
// and the state. Every other signal is cut into odd counts instead of 200-sample Frames.
TEST(AdpcmCoders, MatchThePlainCoderAndRoundTripOnManySignals) {
    const std::vector<Samples> signals = propertySignals();
    for (const std::int16_t bits : kWidths) {
        for (std::size_t n = 0; n < signals.size(); ++n) {
            SCOPED_TRACE(testing::Message() << bits << " bits, signal " << n);
            AdpcmEncoder plain, recording;
            plain.reset();
            recording.reset();
            AdpcmDecoder decoder;
            decoder.reset();
            ReferenceEncoder reference;
            const std::size_t total = signals[n].size();
            std::size_t count = kFrame;
            for (std::size_t start = 0; start < total; start += count) {
                count = n % 2 == 0 ? kFrame : std::min<std::size_t>(1 + start % 37, total - start);
                SCOPED_TRACE(testing::Message() << count << " samples from " << start);
                const Samples frame(
                    signals[n].begin() + static_cast<std::ptrdiff_t>(start),
                    signals[n].begin() + static_cast<std::ptrdiff_t>(start + count));
                const auto length = static_cast<std::int16_t>(count);
                const Bytes expected = reference.encode(frame, bits);
                ASSERT_EQ(encode(plain, frame, bits), expected);
                ASSERT_EQ(plain.state(), reference.state());
                Bytes coded(expected.size());
                Samples reconstructed(count), decoded(count);
                recording.encodeFrame(frame.data(), coded.data(), length, bits,
                                      reconstructed.data());
                ASSERT_EQ(coded, expected);
                ASSERT_EQ(recording.state(), reference.state());
                decoder.decodeFrame(coded.data(), decoded.data(), length, bits);
                ASSERT_EQ(decoded, reconstructed);
                ASSERT_EQ(decoder.state(), reference.state());
            }
        }
    }
}

}  // namespace
}  // namespace zelvio
