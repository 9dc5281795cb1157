#include <array>

#include "job/stages.h"

namespace zelvio {

FrameLoop::FrameLoop(std::unique_ptr<FrameCoder> coder, bool detection)
    : coder_(std::move(coder)), detection_(detection) {
    // Set up whether or not detection is on, as the detector's state is part of every run.
    detector_.configure(kDetectorPeakLimit, kDetectorMeanLimit, kDetectorHangover);
}

StageResult FrameLoop::run(MonoSource& samples, std::int64_t frameCount, PalmDatabase& database,
                           const ProgressReport& progress) {
    std::array<std::int16_t, kFrameSamples> frame{};
    std::array<std::uint8_t, 1 + codedFrameBytes(8)> chunk{};  // the marker and the widest Frame
    for (std::int64_t index = 0; index < frameCount; ++index) {
        if (samples.read(frame.data(), kFrameSamples) != kFrameSamples) {
            return StageError{OutcomeKind::FileIoError, "cannot read a scratch file"};
        }
        std::uint16_t length = 0;
        std::uint8_t level = 0;
        if (detection_ && detector_.classifyFrame(frame.data(), level, kFrameSamples) != 0) {
            chunk[0] = silenceMarker(level);
            length = 1;
        } else {
            chunk[0] = kAudioChunkMarker;
            coder_->encodeFrame(frame.data(), chunk.data() + 1);
            length = static_cast<std::uint16_t>(1 + coder_->codedBytes());
        }
        if (database.appendChunk(0, length, chunk.data()) != kDbOk) {
            if (database.isFull()) {
                break;
            }
            return StageError{OutcomeKind::FileIoError, "not enough memory for the database"};
        }
        ++framesCoded_;
        if (progress && (index & 255) == 0) {
            progress(static_cast<double>(index) / static_cast<double>(frameCount));
        }
    }
    return std::nullopt;
}

}  // namespace zelvio
