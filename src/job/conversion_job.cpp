#include "job/conversion_job.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

#include "coding/frame_coder.h"
#include "coding/voice_activity_detector.h"
#include "io/scratch_file.h"
#include "job/database_title.h"
#include "job/raw_sample_file.h"
#include "job/save_database.h"
#include "pdb/handheld_text.h"
#include "pdb/palm_database.h"
#include "resample/resampler.h"
#include "wave/audio_source.h"

namespace zelvio {
namespace {

namespace fs = std::filesystem;

// Passes samples on to the scratch file and reports how far the rate conversion has come.
class ProgressSink final : public MonoSink {
  public:
    ProgressSink(MonoSink& inner, std::int64_t expected, std::function<void(double)> report)
        : inner_(inner), expected_(expected), report_(std::move(report)) {}

    bool write(const std::int16_t* samples, std::size_t count) override {
        written_ += static_cast<std::int64_t>(count);
        if (report_ && expected_ > 0) {
            report_(static_cast<double>(written_) / static_cast<double>(expected_));
        }
        return inner_.write(samples, count);
    }

  private:
    MonoSink& inner_;
    std::int64_t expected_;
    std::int64_t written_ = 0;
    std::function<void(double)> report_;
};

ConversionOutcome failure(OutcomeKind kind, std::string detail) {
    ConversionOutcome outcome;
    outcome.kind = kind;
    outcome.caption = kErrorCaption;
    outcome.icon = OutcomeIcon::Stop;
    outcome.detail = std::move(detail);
    switch (kind) {
        case OutcomeKind::InputError:
            outcome.message = kInputErrorText;
            break;
        case OutcomeKind::SaveError:
            outcome.message = kSaveErrorText;
            break;
        default:
            outcome.message = kFileIoErrorText;
            break;
    }
    return outcome;
}

std::string describePath(const fs::path& path) {
    return "\"" + path.string() + "\"";
}

// Catches the database paths that cannot work before any time is spent converting.
std::optional<std::string> databasePathProblem(const fs::path& path) {
    std::error_code error;
    if (path.empty()) {
        return "no database file name was given";
    }
    if (fs::is_directory(path, error)) {
        return describePath(path) + " is a folder";
    }
    const fs::path folder = path.parent_path();
    if (!folder.empty() && !fs::is_directory(folder, error)) {
        return "the folder " + describePath(folder) + " does not exist";
    }
    return std::nullopt;
}

}  // namespace

std::string formatMinutesSeconds(std::int64_t milliseconds) {
    const std::int64_t seconds = milliseconds / 1000;
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
    return text;
}

ConversionJob::ConversionJob(ConversionSettings settings, ProgressCallback progress)
    : settings_(std::move(settings)), progress_(std::move(progress)) {}

ConversionOutcome ConversionJob::run() {
    const auto report = [this](double fraction) {
        if (progress_) {
            progress_(std::clamp(fraction, 0.0, 1.0));
        }
    };
    // Shares of the whole run, by the work each stage does.
    constexpr double kStagingShare = 0.15;
    constexpr double kResamplingShare = 0.70;
    constexpr double kCodingShare = 0.15;

    const auto codec = static_cast<std::uint16_t>(codecForBits(settings_.bitsPerSample));

    OpenedAudio input = openAudioSource(settings_.inputPath);
    if (input.status != kAudioOk) {
        return failure(OutcomeKind::InputError,
                       describePath(settings_.inputPath) + ": " + input.errorText);
    }
    AudioSource& source = *input.source;
    const std::uint32_t inputRate = source.sampleRate();
    if (inputRate < kMinInputRate || inputRate > kMaxInputRate) {
        return failure(OutcomeKind::InputError,
                       describePath(settings_.inputPath) + ": a sample rate of " +
                           std::to_string(inputRate) + " Hz is not supported (" +
                           std::to_string(kMinInputRate) + " to " + std::to_string(kMaxInputRate) +
                           " Hz are)");
    }
    if (auto problem = databasePathProblem(settings_.databasePath)) {
        return failure(OutcomeKind::SaveError, *problem);
    }

    const std::int64_t inputCount = source.sampleFrameCount();
    const double factor = static_cast<double>(kStreamSampleRate) / static_cast<double>(inputRate);
    const auto outputLimit =
        static_cast<std::int64_t>(static_cast<double>(inputCount) * factor) + 1;

    ScratchFile staged;
    if (!staged.create("1")) {
        return failure(OutcomeKind::FileIoError, "cannot create a scratch file");
    }

    const std::unique_ptr<FrameCoder> coder = makeFrameCoder(codecBits(codec), kFrameSamples);
    VoiceActivityDetector detector;
    detector.configure(1024, 256, 1400);

    PalmDatabase database;
    const std::string title = databaseTitle(settings_.title, settings_.inputPath.stem().string());
    const std::string description =
        toHandheldText(settings_.description, PalmDatabase::kMaxTextBytes);
    if (database.create(title, description, "", 1) != kDbOk) {
        return failure(OutcomeKind::FileIoError, "not enough memory for the database");
    }
    database.startStream(1, kStreamSampleRate, kFrameMs, 2, codec, kFrameSamples);

    // Stage 1: the input as 16-bit mono in scratch file 1. Stereo pairs are mixed to the floor of
    // their mean.
    {
        constexpr std::int64_t kBlockFrames = 4096;
        std::vector<SampleFrame> block(kBlockFrames);
        std::vector<std::int16_t> mono(kBlockFrames);
        RawFileSink stagedSamples(staged.stream());
        const bool stereo = source.channels() == 2;
        for (std::int64_t done = 0; done < inputCount;) {
            const std::int64_t count = std::min(kBlockFrames, inputCount - done);
            if (source.readSamples(count, block.data()) != kAudioOk) {
                return failure(OutcomeKind::FileIoError,
                               "reading " + describePath(settings_.inputPath) +
                                   " failed: " + std::string(source.errorText()));
            }
            for (std::int64_t i = 0; i < count; ++i) {
                const SampleFrame& frame = block[static_cast<std::size_t>(i)];
                mono[static_cast<std::size_t>(i)] =
                    stereo ? static_cast<std::int16_t>(
                                 (static_cast<std::int32_t>(frame.left) + frame.right) >> 1)
                           : frame.left;
            }
            if (!stagedSamples.write(mono.data(), static_cast<std::size_t>(count))) {
                return failure(OutcomeKind::FileIoError, "cannot write a scratch file");
            }
            done += count;
            report(kStagingShare * static_cast<double>(done) / static_cast<double>(inputCount));
        }
    }
    input.source.reset();  // the input is closed once it is staged

    // Stage 2: scratch file 1 at the input rate into scratch file 2 at 10000 Hz.
    ScratchFile resampled;
    if (!staged.rewindForReading() || !resampled.create("2")) {
        return failure(OutcomeKind::FileIoError, "cannot write a scratch file");
    }
    {
        RawFileSource stagedSamples(staged.stream());
        RawFileSink fileSink(resampled.stream());
        ProgressSink sink(fileSink, outputLimit, [&](double fraction) {
            report(kStagingShare + kResamplingShare * fraction);
        });
        const ResampleResult result = resampleFile(
            factor, stagedSamples, sink, inputCount, outputLimit,
            {.filter = ResampleFilter::Designed, .interpolation = Interpolation::Linear});
        if (result.status == kResampleReadError) {
            return failure(OutcomeKind::FileIoError, "cannot read a scratch file");
        }
        if (result.status != kResampleOk) {
            return failure(OutcomeKind::FileIoError, "cannot write a scratch file");
        }
    }
    staged.remove();
    if (!resampled.rewindForReading()) {
        return failure(OutcomeKind::FileIoError, "cannot read a scratch file");
    }

    // Stage 3: the Frame loop. A final partial Frame is dropped.
    ConversionOutcome outcome;
    const std::int64_t frameCount = inputCount >= 2 ? outputLimit / kFrameSamples : 0;
    outcome.framesTotal = frameCount;
    {
        RawFileSource resampledSamples(resampled.stream());
        std::array<std::int16_t, kFrameSamples> frame{};
        std::array<std::uint8_t, 1 + kFrameSamples> chunk{};
        std::uint8_t level = 0;
        for (std::int64_t index = 0; index < frameCount; ++index) {
            if (resampledSamples.read(frame.data(), kFrameSamples) != kFrameSamples) {
                return failure(OutcomeKind::FileIoError, "cannot read a scratch file");
            }
            std::uint16_t length = 0;
            if (settings_.voiceActivityDetection &&
                detector.classifyFrame(frame.data(), level, kFrameSamples) != 0) {
                chunk[0] = silenceMarker(level);
                length = 1;
            } else {
                chunk[0] = kAudioChunkMarker;
                coder->encodeFrame(frame.data(), chunk.data() + 1);
                length = static_cast<std::uint16_t>(1 + coder->codedBytes());
            }
            if (database.appendChunk(0, length, chunk.data()) != kDbOk) {
                if (database.isFull()) {
                    break;
                }
                return failure(OutcomeKind::FileIoError, "not enough memory for the database");
            }
            ++outcome.framesCoded;
            if ((index & 255) == 0) {
                report(kStagingShare + kResamplingShare +
                       kCodingShare * static_cast<double>(index) / static_cast<double>(frameCount));
            }
        }
    }
    resampled.remove();

    if (saveDatabase(database, settings_.databasePath) != kDbOk) {
        return failure(OutcomeKind::SaveError,
                       "cannot write " + describePath(settings_.databasePath));
    }
    report(1.0);

    outcome.recordCount = database.numRecords();
    outcome.caption = kSavedCaption;
    if (outcome.framesCoded < outcome.framesTotal) {
        outcome.kind = OutcomeKind::DatabaseFull;
        outcome.icon = OutcomeIcon::Warning;
        outcome.message = "The audio database is full: only the first " +
                          formatMinutesSeconds(outcome.framesCoded * kFrameMs) + " of " +
                          formatMinutesSeconds(outcome.framesTotal * kFrameMs) +
                          " of audio were saved.";
    } else {
        outcome.kind = OutcomeKind::Success;
        outcome.icon = OutcomeIcon::Information;
        outcome.message = kSuccessText;
    }
    return outcome;
}

}  // namespace zelvio
