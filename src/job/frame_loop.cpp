#include <algorithm>
#include <array>

#include "job/stages.h"

namespace zelvio {
namespace {

constexpr auto kFrameLength = static_cast<std::size_t>(kFrameSamples);

}  // namespace

FrameLoop::FrameLoop(std::unique_ptr<FrameCoder> coder, bool detection)
    : coder_(std::move(coder)), detection_(detection) {
    // Set up whether or not detection is on, as the detector's state is part of every run.
    detector_.configure(kDetectorPeakLimit, kDetectorMeanLimit, kDetectorHangover);
}

StageResult FrameLoop::nextPart(DatabaseParts& parts) {
    if (StageResult error = parts.next(framesInPart_)) {
        return error;
    }
    // A part plays on its own: its coder and detector start as a new run's do.
    coder_->reset();
    detector_ = VoiceActivityDetector{};
    detector_.configure(kDetectorPeakLimit, kDetectorMeanLimit, kDetectorHangover);
    framesInPart_ = 0;
    return std::nullopt;
}

StageResult FrameLoop::codeFrame(const std::int16_t* frame, DatabaseParts& parts) {
    if (parts.splits() && parts.complete(framesInPart_)) {
        if (StageResult error = nextPart(parts)) {
            return error;
        }
    }
    std::array<std::uint8_t, 1 + codedFrameBytes(8)> chunk{};  // the marker and the widest Frame
    std::uint16_t length = 0;
    std::uint8_t level = 0;
    if (detection_ && detector_.classifyFrame(frame, level, kFrameSamples) != 0) {
        chunk[0] = silenceMarker(level);
        length = 1;
    } else {
        chunk[0] = kAudioChunkMarker;
        coder_->encodeFrame(frame, chunk.data() + 1);
        length = static_cast<std::uint16_t>(1 + coder_->codedBytes());
    }
    PalmDatabase& database = parts.current();
    if (database.appendChunk(0, length, chunk.data()) != kDbOk) {
        if (!database.isFull()) {
            return StageError{OutcomeKind::FileIoError, "not enough memory for the database"};
        }
        if (!parts.splits() || framesInPart_ == 0) {
            full_ = true;
            return std::nullopt;
        }
        // The part ends where this Frame did not fit; the next part codes it afresh (an empty
        // database always takes one Frame, so this goes no deeper).
        if (StageResult error = nextPart(parts)) {
            return error;
        }
        return codeFrame(frame, parts);
    }
    ++framesCoded_;
    ++framesInPart_;
    return std::nullopt;
}

StageResult FrameLoop::code(std::span<const std::int16_t> samples, DatabaseParts& parts) {
    std::size_t at = 0;
    if (partialCount_ > 0 && !full_) {
        const std::size_t take = std::min(samples.size(), kFrameLength - partialCount_);
        std::copy_n(samples.begin(), take, partial_.begin() + partialCount_);
        partialCount_ += take;
        at = take;
        if (partialCount_ < kFrameLength) {
            return std::nullopt;
        }
        partialCount_ = 0;
        if (StageResult error = codeFrame(partial_.data(), parts)) {
            return error;
        }
    }
    for (; !full_ && samples.size() - at >= kFrameLength; at += kFrameLength) {
        if (StageResult error = codeFrame(samples.data() + at, parts)) {
            return error;
        }
    }
    if (!full_) {
        partialCount_ = samples.size() - at;
        std::copy(samples.begin() + static_cast<std::ptrdiff_t>(at), samples.end(),
                  partial_.begin());
    }
    return std::nullopt;
}

}  // namespace zelvio
