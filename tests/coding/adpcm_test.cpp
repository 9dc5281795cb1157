#include "coding/adpcm.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "coding/adpcm_tables.h"
#include "coding/voice_activity_detector.h"

namespace zelvio {
namespace {

using Samples = std::vector<std::int16_t>;
using Bytes = std::vector<std::uint8_t>;

constexpr std::int16_t kFrame = 200;
constexpr std::int16_t kWidths[] = {4, 3, 2, 1};

// Encodes with a fresh or given encoder, returning exactly the coded bytes.
Bytes encode(AdpcmEncoder& encoder, const Samples& samples, std::int16_t bits) {
    Bytes out(
        static_cast<std::size_t>(adpcmCodedSize(static_cast<std::int16_t>(samples.size()), bits)));
    encoder.encodeFrame(samples.data(), out.data(), static_cast<std::int16_t>(samples.size()),
                        bits);
    return out;
}

std::string hex(const Bytes& bytes) {
    std::string text;
    for (const std::uint8_t byte : bytes) {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        text += kDigits[byte >> 4];
        text += kDigits[byte & 15];
        text += ' ';
    }
    return text;
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
        std::int32_t code = 0;
        std::int32_t r = step;
        if (bits == 1) {
            code = 4;
        } else {
            r = step >> (bits - 1);
            std::int32_t t = step;
            for (int i = 0; i < bits - 1; ++i) {
                if (magnitude >= t) {
                    code |= 4 >> i;
                    magnitude -= t;
                    r += t;
                }
                t >>= 1;
            }
        }
        predictor = std::clamp(sign ? predictor - r : predictor + r, -32768, 32767);
        code |= sign;
        if (bits == 1 && (lastCode & 8) != sign) {
            stepIndex -= 2;
        } else {
            stepIndex += kAdpcmIndexAdjustments[static_cast<std::size_t>(code)];
        }
        stepIndex = std::clamp(stepIndex, 0, 88);
        lastCode = code;
        return code >> (4 - bits);
    }

    Bytes encode(const Samples& samples, int bits) {
        Bytes out((bits * samples.size() + 7) / 8, 0);
        std::size_t byte = 0;
        int bit = 0;
        for (const std::int16_t sample : samples) {
            const int e = codeSample(sample, bits);
            out[byte] = static_cast<std::uint8_t>(out[byte] | ((e << bit) & 0xFF));
            if (bit + bits > 8) {
                out[byte + 1] = static_cast<std::uint8_t>(out[byte + 1] | (e >> (8 - bit)));
            }
            bit += bits;
            if (bit >= 8) {
                bit -= 8;
                ++byte;
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
        Samples s(length);
        for (auto& v : s) {
            v = static_cast<std::int16_t>(static_cast<std::uint16_t>(random_() >> 16));
        }
        return s;
    }

    // Low-level noise of at most +/-amplitude, which drives the step index to the bottom.
    Samples quietNoise(std::size_t length, std::int32_t amplitude) {
        Samples s(length);
        for (auto& v : s) {
            v = static_cast<std::int16_t>(
                static_cast<std::int32_t>(random_() % (2 * amplitude + 1)) - amplitude);
        }
        return s;
    }

    // Voiced bursts: two resonances excited by a pulse train and noise, under an envelope that
    // swells, clips at full scale now and then, and falls to pauses of near silence.
    Samples speechLike(std::size_t length) {
        Samples s(length);
        double y1 = 0, y2 = 0, z1 = 0, z2 = 0;
        const double f1 = 0.05 + 0.1 * unit(), f2 = 0.2 + 0.2 * unit();
        const double a1 = 2 * 0.97 * std::cos(f1 * 3.14159265),
                     a2 = 2 * 0.9 * std::cos(f2 * 3.14159265);
        const std::size_t pitch = 40 + random_() % 80;
        double gain = 0;
        double target = 0;
        for (std::size_t i = 0; i < length; ++i) {
            if (i % 400 == 0) {
                const std::uint32_t pick = random_() % 4;
                target = pick == 0 ? 0.0 : pick == 1 ? 0.02 : pick == 2 ? 0.3 : 3.0;
            }
            gain += (target - gain) * 0.01;
            const double excitation = (i % pitch == 0 ? 2000.0 : 0.0) + 200.0 * (unit() - 0.5);
            const double y = excitation + a1 * y1 - 0.97 * 0.97 * y2;
            y2 = y1;
            y1 = y;
            const double z = y + a2 * z1 - 0.81 * z2;
            z2 = z1;
            z1 = z;
            const double value = std::clamp(gain * z, -32768.0, 32767.0);
            s[i] = static_cast<std::int16_t>(std::lround(value));
        }
        return s;
    }

    // Full-scale square wave of a random period: the biggest differences the coder can meet.
    Samples square(std::size_t length) {
        Samples s(length);
        const std::size_t half = 1 + random_() % 30;
        for (std::size_t i = 0; i < length; ++i) {
            s[i] = (i / half) % 2 == 0 ? std::int16_t{32767} : std::int16_t{-32768};
        }
        return s;
    }

  private:
    double unit() { return static_cast<double>(random_() >> 8) / 16777216.0; }

    std::mt19937 random_;
};

std::vector<Samples> propertySignals() {
    std::vector<Samples> signals;
    for (std::uint32_t seed = 1; seed <= 12; ++seed) {
        SignalMaker maker(seed);
        signals.push_back(maker.whiteNoise(10 * kFrame));
        signals.push_back(maker.quietNoise(10 * kFrame, 1 + static_cast<std::int32_t>(seed) * 3));
        signals.push_back(maker.speechLike(20 * kFrame));
        signals.push_back(maker.square(10 * kFrame));
    }
    return signals;
}

// --- Worked examples -------------------------------------------------------------------------

struct WorkedExample {
    std::int16_t bits;
    Samples samples;
    Bytes bytes;
    AdpcmState after;
};

TEST(AdpcmEncoder, CodesTheWorkedExamplesToTheirBytesAndState) {
    const Samples eight = {0, 20, 40, 10, -30, -60, 0, 5};
    const WorkedExample examples[] = {
        {4, {0, 20, 40, 10}, {0x70, 0xB7}, {12, 15, 11}},
        {3, eight, {0xD8, 0xEC, 0x0E}, {12, 20, 0}},
        {2, eight, {0xD4, 0x1F}, {6, 11, 0}},
        {1, eight, {0xB8}, {-7, 4, 12}},
    };
    for (const auto& example : examples) {
        SCOPED_TRACE(testing::Message() << example.bits << " bits");
        AdpcmEncoder encoder;
        encoder.reset();
        EXPECT_EQ(hex(encode(encoder, example.samples, example.bits)), hex(example.bytes));
        EXPECT_EQ(encoder.predictor(), example.after.predictor);
        EXPECT_EQ(encoder.stepIndex(), example.after.stepIndex);
        EXPECT_EQ(encoder.lastCode(), example.after.lastCode);
    }
}

// One row per sample: the emitted code and the state right after that sample.
struct SampleStep {
    std::int16_t sample;
    std::uint8_t emitted;
    std::int16_t predictor;
    std::int16_t stepIndex;
};

void expectSampleBySample(std::int16_t bits, const std::vector<SampleStep>& steps) {
    AdpcmEncoder encoder;
    encoder.reset();
    for (std::size_t i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "sample " << i);
        // A single code fills part of one byte; the rest of that byte is cleared.
        std::uint8_t byte = 0xFF;
        encoder.encodeFrame(&steps[i].sample, &byte, 1, bits);
        EXPECT_EQ(byte, steps[i].emitted);
        EXPECT_EQ(encoder.predictor(), steps[i].predictor);
        EXPECT_EQ(encoder.stepIndex(), steps[i].stepIndex);
    }
}

TEST(AdpcmEncoder, FollowsTheThreeBitWorkedExampleSampleBySample) {
    expectSampleBySample(3, {{0, 0, 1, 0},
                             {20, 3, 12, 6},
                             {40, 3, 34, 12},
                             {10, 6, 6, 14},
                             {-30, 6, -29, 16},
                             {-60, 5, -54, 15},
                             {0, 3, -1, 21},
                             {5, 0, 12, 20}});
}

// --- Clamps and bounds -----------------------------------------------------------------------

TEST(AdpcmEncoder, ClampsTheDifferenceBeforeQuantising) {
    AdpcmEncoder encoder;
    encoder.setState({32767, 88, 0});
    const Samples lowest = {-32768};
    // d = -65535 clamps to -32768: magnitude 32768 reaches only the full step 32767, whose
    // remainder 1 reaches neither half; r = 4095 + 32767.
    EXPECT_EQ(hex(encode(encoder, lowest, 4)), "0C ");
    EXPECT_EQ(encoder.state(), (AdpcmState{-4095, 88, 12}));
    // d = -28673: reaches step/2 and step/4; r = 4095 + 16383 + 8191 = 28669.
    EXPECT_EQ(hex(encode(encoder, lowest, 4)), "0B ");
    EXPECT_EQ(encoder.state(), (AdpcmState{-32764, 87, 11}));
}

TEST(AdpcmEncoder, ClimbsToAndHoldsAFullScaleConstantFromReset) {
    AdpcmEncoder encoder;
    encoder.reset();
    const std::int16_t top = 32767;
    std::int16_t predictorAfterTen = 0;
    for (int i = 1; i <= 60; ++i) {
        SCOPED_TRACE(testing::Message() << "sample " << i);
        std::uint8_t byte = 0xFF;
        encoder.encodeFrame(&top, &byte, 1, 4);
        if (i <= 10) {
            EXPECT_EQ(byte, 7);
            EXPECT_EQ(encoder.stepIndex(), 8 * i);
            predictorAfterTen = encoder.predictor();
        } else if (i == 11) {
            // r = 15289 >> 3 + 15289 >> 1 = 9555; 25039 + 9555 passes full scale and is clamped.
            EXPECT_EQ(predictorAfterTen, 25039);
            EXPECT_EQ(byte, 2);
            EXPECT_EQ(encoder.predictor(), 32767);
            EXPECT_EQ(encoder.stepIndex(), 79);
        } else {
            EXPECT_EQ(byte, 0);
            EXPECT_EQ(encoder.predictor(), 32767);
            EXPECT_EQ(encoder.stepIndex(), 79 - (i - 11));
        }
    }
}

TEST(AdpcmEncoder, CodesTwoHundredZerosFromResetAtEachWidth) {
    const struct {
        std::int16_t bits;
        Bytes repeatingBytes;
        Samples repeatingPredictors;
        AdpcmState after;
    } cases[] = {
        {4, {0x00}, {0}, {0, 0, 0}},
        {3, {0x20, 0x08, 0x82}, {1, 0}, {0, 0, 8}},
        {2, {0x88}, {3, 0}, {0, 0, 8}},
    };
    const Samples zeros(kFrame, 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bits << " bits");
        AdpcmEncoder encoder;
        encoder.reset();
        Bytes out(static_cast<std::size_t>(adpcmCodedSize(kFrame, c.bits)));
        Samples predictors(kFrame);
        encoder.encodeFrame(zeros.data(), out.data(), kFrame, c.bits, predictors.data());
        ASSERT_EQ(out.size(), static_cast<std::size_t>(kFrame * c.bits / 8));
        for (std::size_t i = 0; i < out.size(); ++i) {
            ASSERT_EQ(out[i], c.repeatingBytes[i % c.repeatingBytes.size()]) << "byte " << i;
        }
        for (std::size_t i = 0; i < predictors.size(); ++i) {
            ASSERT_EQ(predictors[i], c.repeatingPredictors[i % c.repeatingPredictors.size()])
                << "sample " << i;
        }
        EXPECT_EQ(encoder.state(), c.after);
    }
}

TEST(AdpcmEncoder, KeepsTheStepIndexWithinTheTableAtEveryWidth) {
    for (const std::int16_t bits : kWidths) {
        SCOPED_TRACE(testing::Message() << bits << " bits");
        const struct {
            const char* name;
            Samples signal;
            std::int16_t heldIndex;
        } cases[] = {
            {"silence", Samples(1000, 0), 0},
            {"tiny noise", SignalMaker(7).quietNoise(1000, 1), 0},
            {"full-scale constant", Samples(1000, 32767),
             static_cast<std::int16_t>(bits == 1 ? 88 : 0)},
            {"full-scale square", SignalMaker(8).square(1000), -1},
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name);
            AdpcmEncoder encoder;
            encoder.reset();
            std::int16_t highest = 0;
            for (std::size_t i = 0; i < c.signal.size(); ++i) {
                std::uint8_t byte = 0;
                encoder.encodeFrame(&c.signal[i], &byte, 1, bits);
                ASSERT_GE(encoder.stepIndex(), 0);
                ASSERT_LE(encoder.stepIndex(), 88);
                highest = std::max(highest, encoder.stepIndex());
            }
            if (c.heldIndex >= 0) {
                EXPECT_EQ(encoder.stepIndex(), c.heldIndex);
            } else if (bits > 1) {
                EXPECT_EQ(highest, 88) << "full-scale swings should drive the step to the top";
            }
        }
    }
}

TEST(AdpcmEncoder, ClampsAStateHandedToIt) {
    AdpcmEncoder encoder;
    encoder.setState({100, 200, 0x7B});
    EXPECT_EQ(encoder.state(), (AdpcmState{100, 88, 11}));
    encoder.setState({-5, -3, 4});
    EXPECT_EQ(encoder.state(), (AdpcmState{-5, 0, 4}));
}

// --- Frames and state --------------------------------------------------------------------------

TEST(AdpcmEncoder, CodesTwoFramesLikeOneCallOverBoth) {
    for (const std::int16_t bits : kWidths) {
        SCOPED_TRACE(testing::Message() << bits << " bits");
        const Samples signal = SignalMaker(21).speechLike(2 * kFrame);
        AdpcmEncoder whole;
        whole.reset();
        const Bytes once = encode(whole, signal, bits);

        AdpcmEncoder framed;
        framed.reset();
        Bytes twice = encode(framed, Samples(signal.begin(), signal.begin() + kFrame), bits);
        const Bytes second = encode(framed, Samples(signal.begin() + kFrame, signal.end()), bits);
        twice.insert(twice.end(), second.begin(), second.end());

        EXPECT_EQ(hex(twice), hex(once));
        EXPECT_EQ(framed.state(), whole.state());
    }
}

TEST(AdpcmEncoder, CarriesItsStateAcrossASilenceChunk) {
    SignalMaker maker(5);
    const Samples loudA = maker.whiteNoise(kFrame);
    const Samples quietB(kFrame, 3);
    const Samples loudC = maker.whiteNoise(kFrame);
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

        AdpcmEncoder direct;
        direct.reset();
        encode(direct, loudA, bits);
        EXPECT_EQ(hex(coded[1]), hex(encode(direct, loudC, bits)));

        // Had B been coded, C would differ: the state really is carried.
        AdpcmEncoder withB;
        withB.reset();
        encode(withB, loudA, bits);
        encode(withB, quietB, bits);
        EXPECT_NE(hex(coded[1]), hex(encode(withB, loudC, bits)));
    }
}

TEST(AdpcmEncoder, MatchesAPlainOneSampleAtATimeCoderOnManySignals) {
    const std::vector<Samples> signals = propertySignals();
    for (const std::int16_t bits : kWidths) {
        for (std::size_t n = 0; n < signals.size(); ++n) {
            SCOPED_TRACE(testing::Message() << bits << " bits, signal " << n);
            AdpcmEncoder encoder;
            encoder.reset();
            ReferenceEncoder reference;
            for (std::size_t start = 0; start < signals[n].size(); start += kFrame) {
                const Samples frame(
                    signals[n].begin() + static_cast<std::ptrdiff_t>(start),
                    signals[n].begin() + static_cast<std::ptrdiff_t>(start + kFrame));
                ASSERT_EQ(encode(encoder, frame, bits), reference.encode(frame, bits))
                    << "frame " << start / kFrame;
                ASSERT_EQ(encoder.state(), reference.state());
            }
        }
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

// --- Odd sizes and the domain
// ---------------------------------------------------------------------

TEST(AdpcmEncoder, ClearsThePartialLastByteAndWritesNothingBeyondIt) {
    for (const std::int16_t bits : kWidths) {
        for (std::int16_t count = 1; count <= 17; ++count) {
            SCOPED_TRACE(testing::Message() << bits << " bits, " << count << " samples");
            const Samples signal = SignalMaker(static_cast<std::uint32_t>(count))
                                       .whiteNoise(static_cast<std::size_t>(count));
            const std::size_t size = static_cast<std::size_t>(adpcmCodedSize(count, bits));
            ASSERT_EQ(size, static_cast<std::size_t>((bits * count + 7) / 8));
            Bytes out(size + 4, 0xFF);
            AdpcmEncoder encoder;
            encoder.reset();
            encoder.encodeFrame(signal.data(), out.data(), count, bits);
            const int usedBits = bits * count - 8 * static_cast<int>(size - 1);
            EXPECT_EQ(out[size - 1] >> usedBits, 0) << "unused high bits of the last byte";
            EXPECT_EQ(Bytes(out.begin() + static_cast<std::ptrdiff_t>(size), out.end()),
                      Bytes(4, 0xFF));
            ReferenceEncoder reference;
            EXPECT_EQ(Bytes(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(size)),
                      reference.encode(signal, bits));
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

// --- Round trip
// -----------------------------------------------------------------------------------

TEST(AdpcmDecoder, ReproducesTheEncodersPredictorOnManySignals) {
    const std::vector<Samples> signals = propertySignals();
    for (const std::int16_t bits : kWidths) {
        for (std::size_t n = 0; n < signals.size(); ++n) {
            SCOPED_TRACE(testing::Message() << bits << " bits, signal " << n);
            AdpcmEncoder encoder;
            encoder.reset();
            AdpcmDecoder decoder;
            decoder.reset();
            for (std::size_t start = 0; start < signals[n].size(); start += kFrame) {
                Bytes coded(static_cast<std::size_t>(adpcmCodedSize(kFrame, bits)));
                Samples expected(kFrame);
                encoder.encodeFrame(signals[n].data() + start, coded.data(), kFrame, bits,
                                    expected.data());
                Samples decoded(kFrame);
                decoder.decodeFrame(coded.data(), decoded.data(), kFrame, bits);
                ASSERT_EQ(decoded, expected) << "frame " << start / kFrame;
                ASSERT_EQ(decoder.state(), encoder.state()) << "frame " << start / kFrame;
            }
        }
    }
}

TEST(AdpcmDecoder, ReproducesTheEncoderAtOddCounts) {
    for (const std::int16_t bits : kWidths) {
        SCOPED_TRACE(testing::Message() << bits << " bits");
        const Samples signal = SignalMaker(99).speechLike(2000);
        AdpcmEncoder encoder;
        encoder.reset();
        AdpcmDecoder decoder;
        decoder.reset();
        std::size_t start = 0;
        for (std::int16_t count = 1; start + static_cast<std::size_t>(count) <= signal.size();
             start += static_cast<std::size_t>(count),
                          count = static_cast<std::int16_t>(count + 3)) {
            Bytes coded(static_cast<std::size_t>(adpcmCodedSize(count, bits)));
            Samples expected(static_cast<std::size_t>(count));
            encoder.encodeFrame(signal.data() + start, coded.data(), count, bits, expected.data());
            Samples decoded(static_cast<std::size_t>(count));
            decoder.decodeFrame(coded.data(), decoded.data(), count, bits);
            ASSERT_EQ(decoded, expected) << count << " samples from " << start;
            ASSERT_EQ(decoder.state(), encoder.state());
        }
    }
}

TEST(AdpcmEncoder, CodesAlikeWhetherOrNotItReportsTheReconstruction) {
    const Samples signal = SignalMaker(11).speechLike(kFrame);
    AdpcmEncoder plain;
    plain.reset();
    AdpcmEncoder recording;
    recording.reset();
    AdpcmEncoder withoutBuffer;
    withoutBuffer.reset();
    for (const std::int16_t bits : kWidths) {
        SCOPED_TRACE(testing::Message() << bits << " bits");
        Bytes recorded(static_cast<std::size_t>(adpcmCodedSize(kFrame, bits)));
        Samples reconstructed(kFrame);
        recording.encodeFrame(signal.data(), recorded.data(), kFrame, bits, reconstructed.data());
        Bytes unrecorded(recorded.size());
        withoutBuffer.encodeFrame(signal.data(), unrecorded.data(), kFrame, bits, nullptr);
        EXPECT_EQ(encode(plain, signal, bits), recorded);
        EXPECT_EQ(unrecorded, recorded);
        EXPECT_EQ(reconstructed.back(), recording.predictor());
        EXPECT_EQ(plain.state(), recording.state());
        EXPECT_EQ(withoutBuffer.state(), recording.state());
    }
}

TEST(AdpcmDecoder, DecodesTheWorkedThreeBitBytes) {
    AdpcmDecoder decoder;
    decoder.reset();
    const Bytes coded = {0xD8, 0xEC, 0x0E};
    Samples decoded(8);
    decoder.decodeFrame(coded.data(), decoded.data(), 8, 3);
    EXPECT_EQ(decoded, (Samples{1, 12, 34, 6, -29, -54, -1, 12}));
    EXPECT_EQ(decoder.state(), (AdpcmState{12, 20, 0}));
}

}  // namespace
}  // namespace zelvio
