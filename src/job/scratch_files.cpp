#include "job/stages.h"

namespace zelvio {
namespace {

StageError scratchError(const char* detail) {
    return StageError{OutcomeKind::FileIoError, detail};
}

}  // namespace

StageResult ScratchFiles::createStaged() {
    if (!staged_.create("1")) {
        return scratchError("cannot create a scratch file");
    }
    stagedSink_ = RawFileSink(staged_.stream());
    return std::nullopt;
}

StageResult ScratchFiles::startResampling() {
    if (!staged_.rewindForReading() || !resampled_.create("2")) {
        return scratchError("cannot write a scratch file");
    }
    stagedSource_ = RawFileSource(staged_.stream());
    resampledSink_ = RawFileSink(resampled_.stream());
    return std::nullopt;
}

StageResult ScratchFiles::finishResampling() {
    staged_.remove();
    if (!resampled_.rewindForReading()) {
        return scratchError("cannot read a scratch file");
    }
    resampledSource_ = RawFileSource(resampled_.stream());
    return std::nullopt;
}

}  // namespace zelvio
