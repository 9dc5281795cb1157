// The database stages: making the image and saving it.
#include "io/path_text.h"
#include "job/save_database.h"
#include "job/stages.h"
#include "pdb/handheld_text.h"

namespace zelvio {

std::string databaseTitle(std::string_view utf8Title, std::string_view utf8InputStem) {
    std::string title = toHandheldText(utf8Title, PalmDatabase::kMaxTitleBytes);
    if (title.empty()) {
        title = toHandheldText(utf8InputStem, PalmDatabase::kMaxTitleBytes);
    }
    if (title.empty()) {
        title = "Audio";
    }
    return title;
}

StageResult makeDatabase(const ConversionSettings& settings, CodecCode codec,
                         PalmDatabase& database) {
    const std::string title = databaseTitle(settings.title, settings.inputPath.stem().string());
    const std::string description =
        toHandheldText(settings.description, PalmDatabase::kMaxTextBytes);
    // Information number 1 and no extra text, as in every database the converter writes.
    if (database.create(title, description, "", 1) != kDbOk) {
        return StageError{OutcomeKind::FileIoError, "not enough memory for the database"};
    }
    constexpr std::uint16_t kMono = 1;
    constexpr std::uint16_t kBytesPerSample = 2;
    database.startStream(kMono, kStreamSampleRate, kFrameMs, kBytesPerSample,
                         static_cast<std::uint16_t>(codec), kFrameSamples);
    return std::nullopt;
}

StageResult saveStage(PalmDatabase& database, ByteSink& sink, const StopToken& stop) {
    if (stop.requested()) {
        return cancelledError();
    }
    if (database.writeImage(sink) != kDbOk) {
        return StageError{OutcomeKind::SaveError, "cannot write the database"};
    }
    return std::nullopt;
}

StageResult saveStage(PalmDatabase& database, const std::filesystem::path& path,
                      const StopToken& stop, bool replaceExisting) {
    AtomicFile file(path);
    file.setReplaceExisting(replaceExisting);
    if (saveDatabase(database, file, &stop) != kDbOk) {
        if (stop.requested()) {
            return cancelledError();
        }
        StageError error{OutcomeKind::SaveError, file.errorText(), file.targetExisted()};
        if (error.detail.empty()) {
            error.detail = "cannot write " + quotedPath(path);
        }
        return error;
    }
    return std::nullopt;
}

}  // namespace zelvio
