// Saved databases in tests: big-endian fields and a walk over the stream records that checks their
// structure and counts their chunks, written from the file layout rather than with the reader
// under test.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "support/files.h"

namespace zelvio::test_support {

inline std::uint32_t be16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return (std::uint32_t{b.at(at)} << 8) | b.at(at + 1);
}

inline std::uint32_t be32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return (be16(b, at) << 16) | be16(b, at + 2);
}

/// What a walk over a database's stream records found.
struct StreamSummary {
    std::uint32_t records = 0;  ///< records in the file, the information record included
    std::uint32_t audioChunks = 0;
    std::uint32_t silenceChunks = 0;
    std::uint32_t durationMs = 0;  ///< sum of the records' durations
    std::vector<std::uint8_t> silenceBytes;
    std::vector<std::vector<std::uint8_t>> audioChunkBytes;  ///< coded Frames without marker
};

/// Walks every stream record of a database image, checking record offsets, stream headers,
/// links and chunk boundaries with gtest assertions.
inline StreamSummary walkStream(const std::vector<std::uint8_t>& file, std::uint16_t codec) {
    StreamSummary summary;
    const std::uint32_t codedBytes = codec == 0 ? 200 : codec == 7 ? 100 : codec == 6 ? 75 : 50;
    summary.records = be16(file, 76);
    EXPECT_GE(summary.records, 2u);
    for (std::uint32_t r = 1; r < summary.records; ++r) {
        const std::uint32_t start = be32(file, 78 + 8 * r);
        const std::uint32_t end =
            r + 1 < summary.records ? be32(file, 78 + 8 * (r + 1)) : file.size();
        SCOPED_TRACE("record " + std::to_string(r));
        EXPECT_EQ(be32(file, start), 0x00020000u);
        EXPECT_EQ(be16(file, start + 12), codec);
        EXPECT_EQ(be16(file, start + 18), r + 1 < summary.records ? r + 1 : 0);
        EXPECT_EQ(be32(file, start + 28), end - start);
        EXPECT_EQ(be32(file, start + 24), end - start - 32);
        EXPECT_LE(end - start, 64000u);
        std::uint32_t chunks = 0;
        for (std::uint32_t at = start + 32; at < end; ++chunks) {
            if (file[at] == 0) {
                summary.audioChunkBytes.emplace_back(file.begin() + at + 1,
                                                     file.begin() + at + 1 + codedBytes);
                ++summary.audioChunks;
                at += 1 + codedBytes;
            } else {
                EXPECT_EQ(file[at] & 1, 1);
                summary.silenceBytes.push_back(file[at]);
                ++summary.silenceChunks;
                at += 1;
            }
            EXPECT_LE(at, end);
        }
        EXPECT_EQ(be32(file, start + 20), chunks * 20);
        summary.durationMs += be32(file, start + 20);
    }
    return summary;
}

}  // namespace zelvio::test_support
