// Filling a whole database: records 1 to 199 with one-byte silence chunks, 63968 to a record,
// 12,729,632 appends in all, the most appendChunk calls a database can take. Then the same
// image written to a file.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>

#include "job/save_database.h"
#include "pdb/palm_database.h"

namespace zelvio {
namespace {

constexpr std::uint8_t kSilence = 0x01;
constexpr std::int64_t kSilenceChunksPerRecord = 63968;
constexpr std::int64_t kChunksToFill = kSilenceChunksPerRecord * 199;

/// Appends silence until the database is full; returns the number of chunks stored.
std::int64_t fillWithSilence(PalmDatabase& db) {
    (void)db.create("Benchmark", "silence", "", 1);
    db.startStream(1, 10000, 20, 2, static_cast<std::uint16_t>(CodecCode::Adpcm4), 200);
    std::int64_t stored = 0;
    while (db.appendChunk(0, 1, &kSilence) == kDbOk) {
        ++stored;
    }
    return stored;
}

void BM_FillAll199RecordsWithSilenceChunks(benchmark::State& state) {
    for (auto _ : state) {
        auto db = std::make_unique<PalmDatabase>();
        const std::int64_t stored = fillWithSilence(*db);
        if (stored != kChunksToFill || !db->isFull()) {
            state.SkipWithError("the database did not take exactly 199 full records");
        }
        benchmark::DoNotOptimize(db->heapBytes());
    }
    state.SetItemsProcessed(state.iterations() * kChunksToFill);
}
BENCHMARK(BM_FillAll199RecordsWithSilenceChunks)->Unit(benchmark::kMillisecond);

void BM_SaveFullDatabase(benchmark::State& state) {
    PalmDatabase db;
    (void)fillWithSilence(db);
    const auto path =
        std::filesystem::temp_directory_path() /
        ("zelvio-bench-" + std::to_string(reinterpret_cast<std::uintptr_t>(&db)) + ".pdb");
    for (auto _ : state) {
        if (saveDatabase(db, path) != kDbOk) {
            state.SkipWithError("save failed");
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(db.fileSize()));
    std::filesystem::remove(path);
}
BENCHMARK(BM_SaveFullDatabase)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zelvio
