// The outcome's message and the one summary line that the dialog and zelvio convert share.
#include "frontend/outcome_text.h"

#include <gtest/gtest.h>

#include "frontend/converter_form.h"
#include "support/files.h"

namespace zelvio {
namespace {

using test_support::TempDirectory;

ConversionOutcome saved(std::int64_t framesCoded, std::int64_t framesTotal,
                        std::uint16_t recordCount) {
    ConversionOutcome outcome;
    outcome.kind = framesCoded < framesTotal ? OutcomeKind::DatabaseFull : OutcomeKind::Success;
    outcome.framesCoded = framesCoded;
    outcome.framesTotal = framesTotal;
    outcome.recordCount = recordCount;
    return outcome;
}

TEST(OutcomeText, SummaryNamesPathSizeModeFramesDurationAndRecords) {
    const struct {
        const char* path;
        int bits;
        bool vad;
        ConversionOutcome outcome;
        std::optional<std::uintmax_t> bytes;
        const char* summary;
    } cases[] = {
        {"memo.pdb", 4, false, saved(200, 200, 2), 20462,
         "memo.pdb: saved, 20,462 bytes, 4-bit ADPCM, 200 Frames (0:04), 2 records"},
        {"/rec/talk.pdb", 8, true, saved(50, 50, 2), 7348,
         "/rec/talk.pdb: saved, 7,348 bytes, 8-bit PCM with voice activity detection, "
         "50 Frames (0:01), 2 records"},
        {"long.pdb", 8, false, saved(63282, 64000, 200), 12725162,
         "long.pdb: saved (cut), 12,725,162 bytes, 8-bit PCM, 63,282 of 64,000 Frames "
         "(21:05 of 21:20), 200 records"},
        {"Größe.pdb", 2, false, saved(1, 1, 1), std::nullopt,
         "Größe.pdb: saved, 2-bit ADPCM, 1 Frame (0:00), 1 record"},
        {"three.pdb", 3, false, saved(0, 0, 2), 1,
         "three.pdb: saved, 1 byte, 3-bit ADPCM, 0 Frames (0:00), 2 records"},
        {"odd", 5, false, saved(250000, 250000, 2), 999,
         "odd: saved, 999 bytes, 2-bit ADPCM, 250,000 Frames (83:20), 2 records"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.summary);
        ConversionSettings settings;
        settings.databasePath = std::filesystem::path(std::u8string(
            reinterpret_cast<const char8_t*>(c.path),
            reinterpret_cast<const char8_t*>(c.path) + std::char_traits<char>::length(c.path)));
        settings.bitsPerSample = c.bits;
        settings.voiceActivityDetection = c.vad;
        EXPECT_EQ(savedSummary(settings, c.outcome, c.bytes), c.summary);
    }
}

TEST(OutcomeText, ASavedDatabaseGetsTheSummaryWithItsSizeAFailureTheJobsDetail) {
    TempDirectory dir;
    dir.write("memo.pdb", test_support::Bytes(1234, 0));
    ConversionSettings settings;
    settings.databasePath = dir / "memo.pdb";
    settings.bitsPerSample = 4;

    ConversionOutcome outcome = saved(50, 50, 2);
    outcome.message = kSuccessText;
    outcome.caption = kSavedCaption;
    OutcomeMessage message = outcomeMessage(settings, outcome);
    EXPECT_EQ(message.text, kSuccessText);
    EXPECT_EQ(message.caption, kSavedCaption);
    EXPECT_EQ(message.icon, OutcomeIcon::Information);
    EXPECT_EQ(message.detail, savedSummary(settings, outcome, 1234));
    EXPECT_NE(message.detail.find("1,234 bytes"), std::string::npos) << message.detail;

    outcome.kind = OutcomeKind::SaveError;
    outcome.message = kSaveErrorText;
    outcome.caption = kErrorCaption;
    outcome.icon = OutcomeIcon::Stop;
    outcome.detail = "\"memo.pdb\": no room left on the device";
    message = outcomeMessage(settings, outcome);
    EXPECT_EQ(message.text, kSaveErrorText);
    EXPECT_EQ(message.caption, kErrorCaption);
    EXPECT_EQ(message.icon, OutcomeIcon::Stop);
    EXPECT_EQ(message.detail, outcome.detail);
}

TEST(OutcomeText, ASplitRunGetsALineForEachPart) {
    TempDirectory dir;
    dir.write("talk-1.pdb", test_support::Bytes(12727864 % 100000, 0));
    dir.write("talk-2.pdb", test_support::Bytes(3000, 0));
    ConversionSettings settings;
    settings.databasePath = dir / "talk.pdb";
    settings.split = true;
    ConversionOutcome outcome = saved(63282 + 100, 63282 + 100, 2);
    outcome.databases = {{dir / "talk-1.pdb", "talk 1/2", 63282, 200},
                         {dir / "talk-2.pdb", "talk 2/2", 100, 2}};
    const std::string folder = utf8FromPath(dir.path() / "");  // with the system's separator
    EXPECT_EQ(savedSummaries(settings, outcome),
              (std::vector<std::string>{
                  folder + "talk-1.pdb: saved, 27,864 bytes, 8-bit PCM, 63,282 Frames (21:05), "
                           "200 records",
                  folder + "talk-2.pdb: saved, 3,000 bytes, 8-bit PCM, 100 Frames (0:02), "
                           "2 records"}));
    EXPECT_EQ(outcomeMessage(settings, outcome).detail,
              savedSummaries(settings, outcome)[0] + "\n" + savedSummaries(settings, outcome)[1]);

    // One database: the one line, sized from the database path.
    outcome.databases.resize(1);
    dir.write("talk.pdb", test_support::Bytes(10, 0));
    EXPECT_EQ(savedSummaries(settings, outcome),
              std::vector<std::string>{savedSummary(settings, outcome, 10)});
}

TEST(OutcomeText, SummariesOfDatabasesHeldInMemoryTakeTheirSizesFromTheCaller) {
    // No files: each size comes from the function, asked with the path the line names.
    ConversionSettings settings;
    settings.databasePath = "talk.pdb";
    settings.split = true;
    settings.bitsPerSample = 4;
    settings.adpcmCoding = AdpcmCoding::Search;
    ConversionOutcome outcome = saved(300, 300, 6);
    outcome.databases = {{"talk-1.pdb", "talk 1/2", 200, 4}, {"talk-2.pdb", "talk 2/2", 100, 2}};
    std::vector<std::filesystem::path> asked;
    const DatabaseSize sizes = [&](const std::filesystem::path& path) {
        asked.push_back(path);
        return path == "talk-1.pdb" ? std::optional<std::uintmax_t>{5078} : std::nullopt;
    };
    EXPECT_EQ(savedSummaries(settings, outcome, sizes),
              (std::vector<std::string>{
                  "talk-1.pdb: saved, 5,078 bytes, 4-bit ADPCM (search encoder), 200 Frames "
                  "(0:04), 4 records",
                  "talk-2.pdb: saved, 4-bit ADPCM (search encoder), 100 Frames (0:02), "
                  "2 records"}));
    EXPECT_EQ(asked, (std::vector<std::filesystem::path>{"talk-1.pdb", "talk-2.pdb"}));

    // One database: asked for the database path.
    outcome.databases.resize(1);
    asked.clear();
    EXPECT_EQ(savedSummaries(settings, outcome, sizes),
              std::vector<std::string>{savedSummary(settings, outcome, std::nullopt)});
    EXPECT_EQ(asked, std::vector<std::filesystem::path>{"talk.pdb"});
}

}  // namespace
}  // namespace zelvio
