// The input stages: opening the input, checking the target, and staging the input as mono.
#include <algorithm>
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

StageResult openInput(const fs::path& path, std::unique_ptr<AudioSource>& input) {
    return openInput(path, nullptr, input);
}

StageResult openInput(const fs::path& path, std::FILE* stream,
                      std::unique_ptr<AudioSource>& input) {
    // Until the stages read an input of unknown length as it comes, such an input is counted
    // first: the run's size is needed before it starts.
    OpenedAudio opened = stream != nullptr ? openAudioSource(stream, LengthRule::Counted)
                                           : openAudioSource(path, LengthRule::Counted);
    if (opened.status != kAudioOk) {
        return StageError{OutcomeKind::InputError, quotedPath(path) + ": " + opened.errorText};
    }
    const std::uint32_t rate = opened.source->sampleRate();
    if (rate < kMinInputRate || rate > kMaxInputRate) {
        return StageError{OutcomeKind::InputError,
                          quotedPath(path) + ": a sample rate of " + std::to_string(rate) +
                              " Hz is not supported (" + std::to_string(kMinInputRate) + " to " +
                              std::to_string(kMaxInputRate) + " Hz are)"};
    }
    input = std::move(opened.source);
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

StageResult stageInput(AudioSource& input, const fs::path& path, MonoSink& staged,
                       const ProgressReport& progress) {
    constexpr std::int64_t kBlockFrames = 4096;
    std::vector<SampleFrame> block(kBlockFrames);
    std::vector<std::int16_t> mono(kBlockFrames);
    const bool stereo = input.channels() == 2;
    const std::int64_t total = input.sampleFrameCount();
    for (std::int64_t done = 0; done < total;) {
        const std::int64_t count = std::min(kBlockFrames, total - done);
        if (input.readSamples(count, block.data()) != kAudioOk) {
            return StageError{
                OutcomeKind::FileIoError,
                "reading " + quotedPath(path) + " failed: " + std::string(input.errorText())};
        }
        std::transform(block.begin(), block.begin() + count, mono.begin(),
                       [stereo](const SampleFrame& frame) { return monoSample(frame, stereo); });
        if (!staged.write(mono.data(), static_cast<std::size_t>(count))) {
            return StageError{OutcomeKind::FileIoError, "cannot write a scratch file"};
        }
        done += count;
        if (progress) {
            progress(static_cast<double>(done) / static_cast<double>(total));
        }
    }
    return std::nullopt;
}

}  // namespace zelvio
