// The search encoder through a whole conversion: the same database layout as the greedy encoder
// (size, records, silence chunks), sound at least as close to the input, and the greedy bytes
// wherever the search has nothing to choose (8-bit PCM, one path).
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "job/conversion_job.h"
#include "pdb/database_reader.h"
#include "quality_measure.h"
#include "readback/database_decoder.h"
#include "support/files.h"

namespace zelvio {
namespace {

namespace fs = std::filesystem;

const fs::path kSpeech = fs::path(ZELVIO_TEST_DATA) / "speech" / "north_wind.wav";

struct Converted {
    test_support::Bytes bytes;
    std::uint64_t silenceChunks = 0;
    std::size_t records = 0;
    RoundTripQuality quality;
};

Converted convertSpeech(const fs::path& out, int bits, bool vad, AdpcmCoding coding, int paths,
                        const std::vector<std::int16_t>& reference) {
    ConversionSettings settings;
    settings.inputPath = kSpeech;
    settings.databasePath = out;
    settings.title = "speech";
    settings.bitsPerSample = bits;
    settings.voiceActivityDetection = vad;
    settings.adpcmCoding = coding;
    settings.searchPaths = paths;
    Converted converted;
    const ConversionOutcome outcome = ConversionJob(settings).run();
    EXPECT_EQ(outcome.kind, OutcomeKind::Success) << outcome.message << " " << outcome.detail;
    DatabaseReader reader;
    EXPECT_EQ(reader.open(out), kReadOk) << reader.errorText();
    converted.silenceChunks = reader.totalSilenceChunks();
    converted.records = reader.recordList().size();
    DatabaseDecoder decoder(reader);
    std::vector<std::int16_t> decoded;
    std::array<std::int16_t, kFrameSamples> frame{};
    while (decoder.nextFrame(frame.data())) {
        decoded.insert(decoded.end(), frame.begin(), frame.end());
    }
    converted.quality = compareWithReference(reference, decoded);
    converted.bytes = test_support::readFileBytes(out);
    return converted;
}

TEST(SearchEncoderJob, KeepsTheLayoutAndSoundsAtLeastAsCloseAtEveryMode) {
    std::vector<std::int16_t> reference;
    std::string error;
    ASSERT_TRUE(referenceAtStreamRate(kSpeech, reference, error)) << error;
    test_support::TempDirectory dir;
    const struct {
        int bits;
        bool vad;
        double leastGainDb;  // plain SNR, search over greedy
    } cases[] = {
        {4, false, 1.8}, {4, true, 1.0},  {3, false, 1.8},
        {3, true, 1.0},  {2, false, 2.0}, {2, true, 1.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bits << " bits, detection " << c.vad);
        const Converted greedy =
            convertSpeech(dir / "greedy.pdb", c.bits, c.vad, AdpcmCoding::Greedy, 0, reference);
        const Converted search =
            convertSpeech(dir / "search.pdb", c.bits, c.vad, AdpcmCoding::Search, 0, reference);
        const Converted onePath =
            convertSpeech(dir / "one.pdb", c.bits, c.vad, AdpcmCoding::Search, 1, reference);
        EXPECT_EQ(search.bytes.size(), greedy.bytes.size());
        EXPECT_EQ(search.records, greedy.records);
        EXPECT_EQ(search.silenceChunks, greedy.silenceChunks);
        EXPECT_NE(search.bytes, greedy.bytes);
        EXPECT_GE(search.quality.snrDb, greedy.quality.snrDb + c.leastGainDb);
        EXPECT_GE(search.quality.segmentalSnrDb, greedy.quality.segmentalSnrDb);
        EXPECT_EQ(onePath.bytes, greedy.bytes);  // one path is the greedy encoder
    }
    // 8-bit PCM has no codes to choose.
    for (const bool vad : {false, true}) {
        EXPECT_EQ(convertSpeech(dir / "a.pdb", 8, vad, AdpcmCoding::Search, 0, reference).bytes,
                  convertSpeech(dir / "b.pdb", 8, vad, AdpcmCoding::Greedy, 0, reference).bytes);
    }
}

}  // namespace
}  // namespace zelvio
