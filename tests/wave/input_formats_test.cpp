// The one list of input formats: what a build with given readers reads, and the README's table of
// it, which must name the same formats and file names in the same order.
#include "wave/input_formats.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace zelvio {
namespace {

TEST(InputFormats, ABuildReadsWhatItsReadersTake) {
    struct Case {
        InputReaders readers;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {{false, false}, {"WAVE"}},
        {{true, false},
         {"WAVE", "FLAC", "Ogg Vorbis", "Opus", "MP3", "AIFF/AIFC", "W64", "CAF", "AU"}},
        {{true, true},
         {"WAVE", "FLAC", "Ogg Vorbis", "Opus", "MP3", "AIFF/AIFC", "W64", "CAF", "AU", "M4A/AAC",
          "WMA", "Matroska audio", "the audio track of a video"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.readers.libsndfile) + std::to_string(c.readers.ffmpeg));
        std::vector<std::string> names;
        for (const InputFormat& format : allInputFormats()) {
            if (readsFormat(format, c.readers)) {
                names.emplace_back(format.name);
            }
        }
        EXPECT_EQ(names, c.names);
    }
    // This build: every pattern once, WAVE's first.
    const std::string patterns = readableFilePatterns();
    EXPECT_EQ(patterns.rfind("*.wav *.wave", 0), 0u) << patterns;
    std::istringstream words(patterns);
    std::vector<std::string> seen;
    for (std::string pattern; words >> pattern;) {
        EXPECT_EQ(std::count(seen.begin(), seen.end(), pattern), 0) << pattern;
        seen.push_back(pattern);
    }
    EXPECT_EQ(readableFormatNames().rfind("WAVE", 0), 0u);
}

TEST(InputFormats, TheReadmeListsTheSameFormatsAndReaders) {
    std::ifstream in(std::filesystem::path(ZELVIO_TEST_DATA) / ".." / ".." / "README.md");
    std::vector<std::vector<std::string>> rows;
    bool inSection = false;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("## ", 0) == 0) {
            inSection = line == "## Input formats";
            continue;
        }
        if (!inSection || line.rfind("| ", 0) != 0 || line.rfind("| format", 0) == 0) {
            continue;
        }
        std::vector<std::string> cells;
        std::stringstream cellsOf(line.substr(1));
        for (std::string cell; std::getline(cellsOf, cell, '|');) {
            cells.push_back(cell.substr(1, cell.size() - 2));
        }
        if (cells.size() == 3) {
            rows.push_back(cells);
        }
    }
    const auto formats = allInputFormats();
    ASSERT_EQ(rows.size(), formats.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const InputFormat& format = formats[i];
        SCOPED_TRACE(std::string(format.name));
        EXPECT_EQ(rows[i][0], format.name);
        std::string patterns = "`";  // built piece by piece: GCC 12 -O3 warns on "`" + string
        patterns += format.patterns;
        patterns += '`';
        EXPECT_EQ(rows[i][1], patterns);
        const std::string& readBy = rows[i][2];
        EXPECT_EQ(readBy.find("our own reader") != std::string::npos, format.ownReader);
        EXPECT_EQ(readBy.find("libsndfile") != std::string::npos, format.libsndfile);
        EXPECT_EQ(readBy.find("FFmpeg") != std::string::npos, format.ffmpeg);
    }
}

}  // namespace
}  // namespace zelvio
