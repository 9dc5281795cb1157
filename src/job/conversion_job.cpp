#include "job/conversion_job.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "job/stages.h"

namespace zelvio {
namespace {

// Shares of the whole run in the progress report, by the work each stage does.
constexpr double kStagingShare = 0.15;
constexpr double kResamplingShare = 0.70;
constexpr double kCodingShare = 0.13;
constexpr double kSavingStart = kStagingShare + kResamplingShare + kCodingShare;

ConversionOutcome failure(const StageError& error) {
    ConversionOutcome outcome;
    outcome.kind = error.kind;
    outcome.caption = kErrorCaption;
    outcome.icon = OutcomeIcon::Stop;
    outcome.detail = error.detail;
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

/// The outcome of a run that saved its database: all of the audio, or its beginning when the
/// database was full.
ConversionOutcome savedOutcome(std::int64_t framesCoded, std::int64_t framesTotal,
                               std::uint16_t recordCount) {
    ConversionOutcome outcome;
    outcome.framesCoded = framesCoded;
    outcome.framesTotal = framesTotal;
    outcome.recordCount = recordCount;
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
        outcome.message = kSuccessText;
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

ConversionOutcome ConversionJob::run() {
    const ProgressReport reading = stageReport(progress_, ConversionStage::Reading);
    const ProgressReport converting = stageReport(progress_, ConversionStage::Converting);
    const ProgressReport saving = stageReport(progress_, ConversionStage::Saving);
    const CodecCode codec = codecForBits(settings_.bitsPerSample);

    std::unique_ptr<AudioSource> input;
    if (StageResult error = openInput(settings_.inputPath, input)) {
        return failure(*error);
    }
    if (StageResult error = checkDatabasePath(settings_.databasePath)) {
        return failure(*error);
    }
    const RunSize size = runSize(input->sampleFrameCount(), input->sampleRate());
    ScratchFiles scratch;
    if (StageResult error = scratch.createStaged()) {
        return failure(*error);
    }
    PalmDatabase database;
    if (StageResult error = makeDatabase(settings_, codec, database)) {
        return failure(*error);
    }

    if (StageResult error = stageInput(*input, settings_.inputPath, scratch.stagedSink(),
                                       partOf(reading, 0.0, kStagingShare))) {
        return failure(*error);
    }
    input.reset();  // the input is closed once it is staged
    if (StageResult error = scratch.startResampling()) {
        return failure(*error);
    }
    if (StageResult error =
            resampleToStreamRate(scratch.stagedSource(), scratch.resampledSink(), size,
                                 partOf(converting, kStagingShare, kResamplingShare))) {
        return failure(*error);
    }
    if (StageResult error = scratch.finishResampling()) {
        return failure(*error);
    }

    FrameLoop frames(makeFrameCoder(codecBits(static_cast<std::uint16_t>(codec)), kFrameSamples),
                     settings_.voiceActivityDetection);
    if (StageResult error =
            frames.run(scratch.resampledSource(), size.frameCount, database,
                       partOf(converting, kStagingShare + kResamplingShare, kCodingShare))) {
        return failure(*error);
    }
    scratch.removeResampled();
    if (saving) {
        saving(kSavingStart);
    }
    if (StageResult error = saveStage(database, settings_.databasePath)) {
        return failure(*error);
    }
    if (saving) {
        saving(1.0);
    }
    return savedOutcome(frames.framesCoded(), size.frameCount, database.numRecords());
}

}  // namespace zelvio
