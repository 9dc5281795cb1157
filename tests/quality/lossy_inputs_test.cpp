// Lossy inputs (MP3, Ogg Vorbis, Opus, M4A/AAC, WMA), held to the table under "## Input formats"
// in README.md: each file of tests/data/lossy is 2 s of the speech sample, encoded by ffmpeg. Its
// decoded samples, taken to 10000 Hz by our own stages, are compared with the speech itself (a
// wrong scale, channel or offset would show there), and each mode's database, decoded as the
// handheld plays it, with those decoded samples.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "job/conversion_job.h"
#include "pdb/database_reader.h"
#include "quality_measure.h"
#include "readback/database_decoder.h"
#include "support/files.h"
#include "wave/audio_source.h"
#include "wave/input_formats.h"

namespace zelvio {
namespace {

namespace fs = std::filesystem;

const fs::path kRepository = fs::path(ZELVIO_TEST_DATA) / ".." / "..";

/// One row: | file | format | lag (ms) | decoded vs speech | 8-bit | 4-bit | 3-bit | 2-bit |
/// (SNR, dB).
struct LossyRow {
    std::string file;
    std::string format;  ///< the source's formatDescription()
    double lagMs = 0;
    double decodedSnrDb = 0;
    std::array<double, 4> modeSnrDb{};  ///< 8, 4, 3 and 2 bits
};

std::vector<LossyRow> readmeLossyTable() {
    std::ifstream in(kRepository / "README.md");
    std::vector<LossyRow> rows;
    bool inSection = false;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("## ", 0) == 0) {
            inSection = line == "## Input formats";
            continue;
        }
        if (!inSection || line.rfind("| `", 0) != 0) {
            continue;
        }
        std::vector<std::string> cells;
        std::stringstream cellsOf(line.substr(1));
        for (std::string cell; std::getline(cellsOf, cell, '|');) {
            cells.push_back(cell.substr(1, cell.size() - 2));
        }
        if (cells.size() == 8) {
            rows.push_back({cells[0].substr(1, cells[0].size() - 2),
                            cells[1],
                            std::stod(cells[2]),
                            std::stod(cells[3]),
                            {std::stod(cells[4]), std::stod(cells[5]), std::stod(cells[6]),
                             std::stod(cells[7])}});
        }
    }
    return rows;
}

/// The decoded input against the speech at the lag (in samples at 10000 Hz, within 50 ms either
/// way) where they agree best: decoded[i] is compared with speech[i + lag]. Codecs differ in how
/// much delay their decoders leave in.
struct Alignment {
    int lag = 0;
    RoundTripQuality quality;
};

Alignment bestAlignment(const std::vector<std::int16_t>& speech,
                        const std::vector<std::int16_t>& decoded) {
    constexpr int kMaxLag = 500;
    // kMaxLag samples are left out at each end, so that every lag compares the same span.
    const std::size_t span = std::min(speech.size(), decoded.size()) - 2 * kMaxLag;
    Alignment best{0, {-1000, -1000, 0}};
    for (int lag = -kMaxLag; lag <= kMaxLag; ++lag) {
        const std::span<const std::int16_t> reference(speech.data() + kMaxLag + lag, span);
        const std::span<const std::int16_t> compared(decoded.data() + kMaxLag, span);
        const RoundTripQuality quality = compareWithReference(reference, compared);
        if (quality.snrDb > best.quality.snrDb) {
            best = {lag, quality};
        }
    }
    return best;
}

std::vector<std::int16_t> decodeDatabase(const fs::path& path) {
    DatabaseReader reader;
    EXPECT_EQ(reader.open(path), kReadOk) << reader.errorText();
    DatabaseDecoder decoder(reader);
    std::vector<std::int16_t> decoded;
    std::array<std::int16_t, kFrameSamples> frame{};
    while (decoder.nextFrame(frame.data())) {
        decoded.insert(decoded.end(), frame.begin(), frame.end());
    }
    return decoded;
}

TEST(LossyInputs, ConvertWithTheQualityTheReadmeStates) {
    if (!inputReaders().ffmpeg) {
        GTEST_SKIP() << "this build reads MP3, Ogg and M4A through FFmpeg, which it does not have";
    }
    // The speech the files were made from: 2 s from 0.3 s on, at its own 10000 Hz.
    std::vector<std::int16_t> speech;
    std::uint32_t rate = 0;
    std::string error;
    ASSERT_TRUE(readMonoSamples(fs::path(ZELVIO_TEST_DATA) / "speech" / "north_wind.wav", speech,
                                rate, error))
        << error;
    ASSERT_EQ(rate, 10000u);
    speech = std::vector<std::int16_t>(speech.begin() + 3000, speech.begin() + 23000);

    const std::vector<LossyRow> rows = readmeLossyTable();
    ASSERT_EQ(rows.size(), 5u) << "README.md's table has a row per lossy test file";
    test_support::TempDirectory dir;
    for (const LossyRow& row : rows) {
        SCOPED_TRACE(row.file);
        const fs::path input = fs::path(ZELVIO_TEST_DATA) / "lossy" / row.file;
        const OpenedAudio opened = openAudioSource(input);
        ASSERT_EQ(opened.status, kAudioOk) << opened.errorText;
        EXPECT_EQ(opened.source->formatDescription(), row.format);
        std::vector<std::int16_t> reference;
        ASSERT_TRUE(referenceAtStreamRate(input, reference, error)) << error;
        ASSERT_GT(reference.size(), 10000u);
        const Alignment decoded = bestAlignment(speech, reference);
        EXPECT_NEAR(decoded.lag / 10.0, row.lagMs, 0.05);
        EXPECT_NEAR(decoded.quality.snrDb, row.decodedSnrDb, 0.05);

        const int bits[] = {8, 4, 3, 2};
        for (std::size_t i = 0; i < 4; ++i) {
            ConversionSettings settings;
            settings.inputPath = input;
            settings.databasePath = dir / "x.pdb";
            settings.bitsPerSample = bits[i];
            const ConversionOutcome outcome = ConversionJob(settings).run();
            ASSERT_EQ(outcome.kind, OutcomeKind::Success) << outcome.detail;
            EXPECT_EQ(outcome.framesCoded, static_cast<std::int64_t>(reference.size()) / 200);
            const RoundTripQuality quality =
                compareWithReference(reference, decodeDatabase(settings.databasePath));
            EXPECT_NEAR(quality.snrDb, row.modeSnrDb[i], 0.05) << bits[i] << " bits";
        }
    }
}

}  // namespace
}  // namespace zelvio
