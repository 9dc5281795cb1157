// The middle of a run: the input's blocks through the rate conversion into the Frame loop.
#include "job/stages.h"

namespace zelvio {

StageResult streamStages(InputReader& reader, bool readAhead, RateConverter& rate,
                         FrameLoop& frames, PalmDatabase& database, const StopToken& stop,
                         const ProgressReport& progress) {
    // Frames the run codes, for the progress report; unknown (0) while the length is.
    const std::int64_t frameCount = rate.sizeKnown() ? rate.size().frameCount : 0;
    std::vector<std::int16_t> resampled;
    InputBlocks blocks(reader, stop, readAhead);
    for (bool ended = false; !ended && !frames.full();) {
        MonoBlock block;
        if (StageResult error = blocks.next(block)) {
            return error;
        }
        ended = block.ended;
        resampled.clear();
        if (StageResult error = rate.push(block.samples, resampled)) {
            return error;
        }
        if (ended) {
            if (StageResult error = rate.finish(resampled)) {
                return error;
            }
        }
        if (StageResult error = frames.code(resampled, database)) {
            return error;
        }
        if (progress && frameCount > 0) {
            progress(static_cast<double>(frames.framesCoded()) / static_cast<double>(frameCount));
        }
    }
    blocks.stop();  // a full database takes nothing more: the rest of the input is not read
    if (reader.statedLength() == kUnknownFrameCount) {
        // Cut short, an input of unknown length is read on only to learn how long it was.
        if (StageResult error = reader.skipToEnd(stop)) {
            return error;
        }
    }
    if (stop.requested()) {
        return cancelledError();
    }
    return std::nullopt;
}

}  // namespace zelvio
