// The README's quality table, held to what the converter does today: the bundled example
// converted at every mode, with and without detection, decoded as the handheld plays it and
// measured against the input taken to 10000 Hz by our own stages. The rows are read from
// README.md itself, so the table cannot drift from the program.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
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

const fs::path kRepository = fs::path(ZELVIO_TEST_DATA) / ".." / "..";

/// One row of the table: | mode | detection | database bytes | silence chunks | SNR | segmental |
struct QualityRow {
    std::string mode;
    std::string detection;
    std::uint64_t databaseBytes = 0;
    std::uint64_t silenceChunks = 0;
    double snrDb = 0;
    double segmentalSnrDb = 0;
};

/// The rows of the table under "## Quality" in README.md.
std::vector<QualityRow> readmeQualityTable() {
    std::ifstream in(kRepository / "README.md");
    std::vector<QualityRow> rows;
    bool inSection = false;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("## ", 0) == 0) {
            inSection = line == "## Quality";
            continue;
        }
        if (!inSection || line.rfind("| ", 0) != 0 || line.rfind("| mode", 0) == 0) {
            continue;
        }
        std::vector<std::string> cells;
        std::stringstream cellsOf(line.substr(1));
        for (std::string cell; std::getline(cellsOf, cell, '|');) {
            cells.push_back(cell.substr(1, cell.size() - 2));  // the spaces around it
        }
        if (cells.size() == 6) {
            rows.push_back({cells[0], cells[1], std::stoull(cells[2]), std::stoull(cells[3]),
                            std::stod(cells[4]), std::stod(cells[5])});
        }
    }
    return rows;
}

TEST(QualityTable, EveryModeGivesTheBytesSilenceAndSnrTheReadmeStates) {
    const fs::path input = kRepository / "examples" / "chimes.wav";
    std::vector<std::int16_t> reference;
    std::string error;
    ASSERT_TRUE(referenceAtStreamRate(input, reference, error)) << error;

    const std::vector<QualityRow> rows = readmeQualityTable();
    ASSERT_EQ(rows.size(), 8u) << "the table in README.md has a row per mode and detection";
    test_support::TempDirectory dir;
    for (const QualityRow& row : rows) {
        SCOPED_TRACE(row.mode + ", detection " + row.detection);
        ConversionSettings settings;
        settings.inputPath = input;
        settings.databasePath = dir / "x.pdb";
        settings.title = "chimes";
        settings.bitsPerSample = row.mode == "8-bit PCM" ? 8 : std::atoi(row.mode.c_str());
        settings.voiceActivityDetection = row.detection == "on";
        ASSERT_EQ(ConversionJob(settings).run().kind, OutcomeKind::Success);

        DatabaseReader reader;
        ASSERT_EQ(reader.open(settings.databasePath), kReadOk) << reader.errorText();
        DatabaseDecoder decoder(reader);
        std::vector<std::int16_t> decoded;
        std::array<std::int16_t, kFrameSamples> frame{};
        while (decoder.nextFrame(frame.data())) {
            decoded.insert(decoded.end(), frame.begin(), frame.end());
        }
        const RoundTripQuality quality = compareWithReference(reference, decoded);

        EXPECT_EQ(reader.fileSize(), row.databaseBytes);
        EXPECT_EQ(reader.totalSilenceChunks(), row.silenceChunks);
        // The README gives two decimals.
        EXPECT_NEAR(quality.snrDb, row.snrDb, 0.005);
        EXPECT_NEAR(quality.segmentalSnrDb, row.segmentalSnrDb, 0.005);
    }
}

}  // namespace
}  // namespace zelvio
