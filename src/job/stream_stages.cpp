// The middle of a run: the input's blocks through the rate conversion into the Frame loop.
#include "job/stages.h"

namespace zelvio {

StageResult streamStages(InputBlocks& blocks, RateConverter& rate, FrameLoop& frames,
                         DatabaseParts& parts, const StopToken& stop, bool codeAhead,
                         const ProgressReport& progress) {
    // Frames the run codes, for the progress report; unknown (0) while the length is.
    const std::int64_t frameCount = rate.sizeKnown() ? rate.size().frameCount : 0;
    FrameStage coding(frames, parts, codeAhead);
    for (bool ended = false; !ended;) {
        MonoBlock block;
        if (StageResult error = blocks.next(block)) {
            return error;
        }
        ended = block.ended;
        std::vector<std::int16_t>* batch = coding.nextBatch();
        if (batch == nullptr) {
            break;  // the database is full (or the coding failed: see finish())
        }
        if (StageResult error = rate.push(block.samples, *batch)) {
            return error;
        }
        if (ended) {
            if (StageResult error = rate.finish(*batch)) {
                return error;
            }
        }
        if (!batch->empty() || ended) {
            coding.handOver(ended);
        }
        if (progress && frameCount > 0) {
            progress(static_cast<double>(coding.framesCoded()) / static_cast<double>(frameCount));
        }
    }
    blocks.stop();  // a full database takes nothing more: the rest of the input is not read
    if (StageResult error = coding.finish()) {
        return error;
    }
    if (progress && frameCount > 0) {
        progress(static_cast<double>(frames.framesCoded()) / static_cast<double>(frameCount));
    }
    if (blocks.reader().statedLength() == kUnknownFrameCount) {
        // Cut short, an input of unknown length is read on only to learn how long it was.
        if (StageResult error = blocks.reader().skipToEnd(stop)) {
            return error;
        }
    }
    if (stop.requested()) {
        return cancelledError();
    }
    return std::nullopt;
}

}  // namespace zelvio
