// The input stages: opening the input, checking the target, and reading the input as mono.
#include <algorithm>
#include <string>
#include <system_error>
#include <vector>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

#include "io/file_system.h"
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
    return openInput(path, nullptr, input);
}

StageResult openInput(const fs::path& path, std::FILE* stream,
                      std::unique_ptr<AudioSource>& input) {
    if (input == nullptr) {
        OpenedAudio opened = stream != nullptr ? openAudioSource(stream) : openAudioSource(path);
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
    return checkDatabasePath(path, {}, true);
}

StageResult checkDatabasePath(const fs::path& path, const fs::path& input, bool replaceExisting) {
    const auto problem = [](std::string detail) {
        return StageError{OutcomeKind::SaveError, std::move(detail)};
    };
    std::error_code error;
    if (path.empty()) {
        return problem("no database file name was given");
    }
    if (isReservedName(path)) {
        return problem(reservedNameText(path));
    }
    if (fs::is_directory(path, error)) {
        return problem(quotedPath(path) + " is a folder");
    }
    const fs::path folder = path.parent_path();
    if (!folder.empty() && !fs::is_directory(folder, error)) {
        return problem("the folder " + quotedPath(folder) + " does not exist");
    }
    if (!input.empty() && sameFile(path, input)) {
        return problem(quotedPath(path) + " is the input file itself");
    }
    if (!replaceExisting && entryExists(path)) {
        StageError exists = problem(quotedPath(path) + " exists already");
        exists.targetExists = true;
        return exists;
    }
    return std::nullopt;
}

void mixToMono(std::span<const SampleFrame> frames, bool stereo, std::int16_t* mono) {
    std::size_t i = 0;
    if (!stereo) {
        for (; i < frames.size(); ++i) {
            mono[i] = frames[i].left;
        }
        return;
    }
#if defined(__SSE2__) || defined(_M_X64)
    // Eight frames at a time: every x86-64 processor has SSE2, and x86 keeps the left sample in
    // the low half of each frame's 32 bits. Both halves are widened with their signs, summed in 32
    // bits and shifted, exactly as monoSample() does; the packing cannot saturate.
    static_assert(sizeof(SampleFrame) == 4);
    for (; i + 8 <= frames.size(); i += 8) {
        const auto* in = reinterpret_cast<const __m128i*>(frames.data() + i);
        const __m128i a = _mm_loadu_si128(in);
        const __m128i b = _mm_loadu_si128(in + 1);
        const __m128i meanA = _mm_srai_epi32(
            _mm_add_epi32(_mm_srai_epi32(_mm_slli_epi32(a, 16), 16), _mm_srai_epi32(a, 16)), 1);
        const __m128i meanB = _mm_srai_epi32(
            _mm_add_epi32(_mm_srai_epi32(_mm_slli_epi32(b, 16), 16), _mm_srai_epi32(b, 16)), 1);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(mono + i), _mm_packs_epi32(meanA, meanB));
    }
#endif
    for (; i < frames.size(); ++i) {
        mono[i] = monoSample(frames[i], true);
    }
}

std::size_t inputBlockFrames(std::uint32_t inputRate) {
    return std::clamp<std::size_t>(kInputBlockFrames * inputRate / kStreamSampleRate, 1,
                                   kInputBlockFrames);
}

InputReader::InputReader(AudioSource& input, const fs::path& path)
    : input_(input),
      path_(path),
      stereo_(input.channels() == 2),
      blockFrames_(static_cast<std::int64_t>(inputBlockFrames(input.sampleRate()))),
      stated_(input.sampleFrameCount() < 0 ? kUnknownFrameCount : input.sampleFrameCount()),
      frames_(inputBlockFrames(input.sampleRate())) {}

StageResult InputReader::readFrames(std::int64_t& count, bool& ended) {
    count = 0;
    if (ended_) {
        ended = true;
        return std::nullopt;
    }
    std::int64_t wanted = blockFrames_;
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
    mixToMono(std::span(frames_).first(block.size()), stereo_, block.data());
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
