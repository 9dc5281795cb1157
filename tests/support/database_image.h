// The bytes of a database image, as the file it saves to would hold them.
#pragma once

#include <gtest/gtest.h>

#include "pdb/palm_database.h"
#include "support/files.h"

namespace zelvio::test_support {

/// The bytes of the file db writes (through PalmDatabase::writeImage).
inline Bytes imageBytes(PalmDatabase& db) {
    MemoryByteSink sink;
    EXPECT_EQ(db.writeImage(sink), kDbOk);
    return sink.bytes();
}

}  // namespace zelvio::test_support
