#include "job/conversion_job.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "io/path_text.h"
#include "job/stages.h"
#include "wave/input_formats.h"

namespace zelvio {
namespace {

// The share of the run's progress that the streamed stages take (reading, resampling and coding
// together); saving the database takes the rest.
constexpr double kStreamShare = 0.98;

ConversionOutcome failure(const StageError& error) {
    ConversionOutcome outcome;
    outcome.kind = error.kind;
    if (error.kind == OutcomeKind::Cancelled) {
        outcome.caption = kCancelledCaption;
        outcome.icon = OutcomeIcon::Information;
        outcome.message = kCancelledText;
        return outcome;
    }
    outcome.caption = kErrorCaption;
    outcome.icon = OutcomeIcon::Stop;
    outcome.detail = error.detail;
    outcome.targetExists = error.targetExists;
    switch (error.kind) {
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

/// The message of a run whose audio was split over several databases: how many, and their names.
std::string splitSuccessText(const std::vector<SavedDatabase>& databases) {
    std::string text = "Conversion completed successfully, the audio was split over " +
                       std::to_string(databases.size()) + " audio database files: ";
    for (std::size_t at = 0; at < databases.size(); ++at) {
        text += (at == 0 ? "" : ", ") + quotedPath(databases[at].path.filename());
    }
    return text + ".";
}

/// The outcome of a run that saved its database: all of the audio, or its beginning when the
/// database was full.
ConversionOutcome savedOutcome(std::int64_t framesCoded, std::int64_t framesTotal,
                               std::vector<SavedDatabase> databases) {
    ConversionOutcome outcome;
    outcome.framesCoded = framesCoded;
    outcome.framesTotal = framesTotal;
    outcome.recordCount = databases.empty() ? 0 : databases.back().recordCount;
    outcome.databases = std::move(databases);
    outcome.caption = kSavedCaption;
    if (framesCoded < framesTotal) {
        outcome.kind = OutcomeKind::DatabaseFull;
        outcome.icon = OutcomeIcon::Warning;
        outcome.message = "The audio database is full: only the first " +
                          formatMinutesSeconds(framesCoded * kFrameMs) + " of " +
                          formatMinutesSeconds(framesTotal * kFrameMs) + " of audio were saved.";
    } else {
        outcome.kind = OutcomeKind::Success;
        outcome.icon = OutcomeIcon::Information;
        outcome.message = outcome.databases.size() > 1 ? splitSuccessText(outcome.databases)
                                                       : std::string(kSuccessText);
    }
    return outcome;
}

/// The run's progress report during one stage: the callback's with that stage, the fraction held
/// to 0 to 1; empty when there is no callback.
ProgressReport stageReport(const ConversionJob::StageProgressCallback& callback,
                           ConversionStage stage) {
    if (!callback) {
        return {};
    }
    return [&callback, stage](double fraction) { callback(std::clamp(fraction, 0.0, 1.0), stage); };
}

}  // namespace

std::string inputFilePatterns() {
    return readableFilePatterns();
}

std::string formatMinutesSeconds(std::int64_t milliseconds) {
    const std::int64_t seconds = milliseconds / 1000;
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
    return text;
}

ConversionJob::ConversionJob(ConversionSettings settings, ProgressCallback progress)
    : settings_(std::move(settings)) {
    if (progress) {
        progress_ = [progress = std::move(progress)](double fraction, ConversionStage) {
            progress(fraction);
        };
    }
}

ConversionJob::ConversionJob(ConversionSettings settings, StageProgressCallback progress)
    : settings_(std::move(settings)), progress_(std::move(progress)) {}

ConversionJob::~ConversionJob() = default;

void ConversionJob::readInputFrom(std::unique_ptr<AudioSource> input) {
    input_ = std::move(input);
}

ConversionOutcome ConversionJob::run() {
    const ProgressReport reading = stageReport(progress_, ConversionStage::Reading);
    const ProgressReport converting = stageReport(progress_, ConversionStage::Converting);
    const ProgressReport saving = stageReport(progress_, ConversionStage::Saving);
    const CodecCode codec = codecForBits(settings_.bitsPerSample);
    if (reading) {
        reading(0.0);
    }

    // The input is compared with the database path only when it is a file opened by path.
    const bool inputIsFile = inputStream_ == nullptr && input_ == nullptr;
    std::unique_ptr<AudioSource> input = std::move(input_);
    if (StageResult error = openInput(settings_.inputPath, inputStream_, input)) {
        return failure(*error);
    }
    if (databaseSink_ == nullptr) {
        if (StageResult error = checkDatabasePath(
                settings_.databasePath, inputIsFile ? settings_.inputPath : std::filesystem::path(),
                settings_.replaceExisting)) {
            return failure(*error);
        }
    }
    const std::string inputNotice = input->notice();
    DatabaseParts parts(settings_, codec, stopToken(), databaseSink_ != nullptr);
    if (StageResult error = parts.start()) {
        return failure(*error);
    }
    ThreadPool threads(settings_.threads);
    const bool overlap = threads.threadCount() > 1;
    InputReader reader(*input, settings_.inputPath);
    InputBlocks blocks(reader, stopToken(), overlap);  // with threads, reading starts here
    RateConverter rate;
    if (StageResult error = rate.start(input->sampleFrameCount(), input->sampleRate(), &threads)) {
        return failure(*error);
    }
    FrameLoop frames(makeFrameCoder(codecBits(static_cast<std::uint16_t>(codec)), kFrameSamples,
                                    settings_.adpcmCoding, settings_.searchPaths),
                     settings_.voiceActivityDetection);
    if (StageResult error = streamStages(blocks, rate, frames, parts, stopToken(), overlap,
                                         partOf(converting, 0.0, kStreamShare))) {
        return failure(*error);
    }
    const RunSize size = runSize(reader.length(), input->sampleRate());
    input.reset();  // the input is closed once it has been read
    if (saving && reader.statedLength() != kUnknownFrameCount) {
        saving(kStreamShare);  // a run of unknown length says only where it starts and ends
    }
    if (StageResult error = parts.save(frames.framesInPart(), databaseSink_)) {
        return failure(*error);
    }
    if (saving) {
        saving(1.0);
    }
    ConversionOutcome outcome = savedOutcome(frames.framesCoded(), size.frameCount, parts.saved());
    outcome.inputNotice = inputNotice;
    return outcome;
}

}  // namespace zelvio
