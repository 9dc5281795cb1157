// The input stages: opening the input, checking the target, and reading the input as mono.
#include <algorithm>
#include <string>
#include <system_error>
#include <vector>

#include "io/path_text.h"
#include "job/stages.h"

namespace zelvio {

namespace fs = std::filesystem;

ProgressReport partOf(const ProgressReport& whole, double start, double share) {
    if (!whole) {
        return {};
    }
    return [whole, start, share](double fraction) { whole(start + share * fraction); };
}

StageError cancelledError() {
    return StageError{OutcomeKind::Cancelled, ""};
}

StageResult openInput(const fs::path& path, std::unique_ptr<AudioSource>& input) {
    if (input == nullptr) {
        OpenedAudio opened = openAudioSource(path);
        if (opened.status != kAudioOk) {
            return StageError{OutcomeKind::InputError, quotedPath(path) + ": " + opened.errorText};
        }
        input = std::move(opened.source);
    }
    const std::uint32_t rate = input->sampleRate();
    if (rate < kMinInputRate || rate > kMaxInputRate) {
        input.reset();
        return StageError{OutcomeKind::InputError,
                          quotedPath(path) + ": a sample rate of " + std::to_string(rate) +
                              " Hz is not supported (" + std::to_string(kMinInputRate) + " to " +
                              std::to_string(kMaxInputRate) + " Hz are)"};
    }
    return std::nullopt;
}

StageResult checkDatabasePath(const fs::path& path) {
    const auto problem = [](std::string detail) {
        return StageError{OutcomeKind::SaveError, std::move(detail)};
    };
    std::error_code error;
    if (path.empty()) {
        return problem("no database file name was given");
    }
    if (fs::is_directory(path, error)) {
        return problem(quotedPath(path) + " is a folder");
    }
    const fs::path folder = path.parent_path();
    if (!folder.empty() && !fs::is_directory(folder, error)) {
        return problem("the folder " + quotedPath(folder) + " does not exist");
    }
    return std::nullopt;
}

InputReader::InputReader(AudioSource& input, const fs::path& path)
    : input_(input),
      path_(path),
      stereo_(input.channels() == 2),
      stated_(input.sampleFrameCount() < 0 ? kUnknownFrameCount : input.sampleFrameCount()),
      frames_(kInputBlockFrames) {}

StageResult InputReader::readFrames(std::int64_t& count, bool& ended) {
    count = 0;
    if (ended_) {
        ended = true;
        return std::nullopt;
    }
    auto wanted = static_cast<std::int64_t>(kInputBlockFrames);
    if (stated_ != kUnknownFrameCount) {
        wanted = std::min(wanted, stated_ - framesRead_);
    }
    if (wanted > 0) {
        const std::int64_t before = input_.framesDelivered();
        if (input_.readSamples(wanted, frames_.data()) == kAudioOk) {
            count = wanted;
        } else if (stated_ == kUnknownFrameCount && input_.endReached()) {
            count = std::clamp<std::int64_t>(input_.framesDelivered() - before, 0, wanted);
            ended_ = true;
        } else {
            return StageError{
                OutcomeKind::FileIoError,
                "reading " + quotedPath(path_) + " failed: " + std::string(input_.errorText())};
        }
    }
    framesRead_ += count;
    if (stated_ != kUnknownFrameCount && framesRead_ == stated_) {
        ended_ = true;
    }
    ended = ended_;
    return std::nullopt;
}

StageResult InputReader::read(std::vector<std::int16_t>& block, bool& ended) {
    std::int64_t count = 0;
    if (StageResult error = readFrames(count, ended)) {
        block.clear();
        return error;
    }
    block.resize(static_cast<std::size_t>(count));
    const SampleFrame* frames = frames_.data();
    std::int16_t* mono = block.data();
    if (stereo_) {
        for (std::int64_t i = 0; i < count; ++i) {
            mono[i] = monoSample(frames[i], true);
        }
    } else {
        for (std::int64_t i = 0; i < count; ++i) {
            mono[i] = frames[i].left;
        }
    }
    return std::nullopt;
}

StageResult InputReader::skipToEnd(const StopToken& stop) {
    for (bool ended = ended_; !ended;) {
        if (stop.requested()) {
            return cancelledError();
        }
        std::int64_t count = 0;
        if (StageResult error = readFrames(count, ended)) {
            return error;
        }
    }
    return std::nullopt;
}

}  // namespace zelvio
