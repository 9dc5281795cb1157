// The run's databases, part after part, and how the parts are named.
#include <algorithm>
#include <array>
#include <system_error>

#include "io/path_text.h"
#include "job/save_database.h"
#include "job/stages.h"

namespace zelvio {

/// A part that is complete: its image in a temporary file beside its target, not yet in place.
struct DatabaseParts::Finished {
    std::unique_ptr<AtomicFile> file;
    std::int64_t frames = 0;
    std::uint16_t records = 0;
};

std::filesystem::path partDatabasePath(const std::filesystem::path& databasePath, int part) {
    std::filesystem::path name = databasePath.stem();
    // Appended piece by piece: GCC 12 at -O3 sees a false overlap in "-" + std::string.
    name += "-";
    name += std::to_string(part);
    name += databasePath.extension();
    return databasePath.parent_path() / name;
}

std::string partTitle(std::string_view title, int part, int parts) {
    std::string suffix = " ";
    suffix += std::to_string(part);
    suffix += '/';
    suffix += std::to_string(parts);
    const std::size_t room = PalmDatabase::kMaxTitleBytes > suffix.size()
                                 ? PalmDatabase::kMaxTitleBytes - suffix.size()
                                 : 0;
    std::string shortened(title.substr(0, std::min(room, title.size())));
    while (!shortened.empty() && shortened.back() == ' ') {
        shortened.pop_back();
    }
    return shortened + suffix;
}

DatabaseParts::DatabaseParts(const ConversionSettings& settings, CodecCode codec,
                             const StopToken& stop, bool toSink)
    : settings_(settings),
      codec_(codec),
      stop_(stop),
      splits_(settings.split && !toSink),
      title_(databaseTitle(settings.title, settings.inputPath.stem().string())) {
    if (splits_ && settings.splitMinutes > 0) {
        partFrames_ = std::int64_t{settings.splitMinutes} * kFramesPerMinute;
    }
}

DatabaseParts::~DatabaseParts() = default;

int DatabaseParts::count() const {
    return static_cast<int>(finished_.size()) + 1;
}

StageResult DatabaseParts::start() {
    current_ = std::make_unique<PalmDatabase>();
    return makeDatabase(settings_, codec_, *current_);
}

StageResult DatabaseParts::next(std::int64_t framesInPart) {
    if (stop_.requested()) {
        return cancelledError();
    }
    if (settings_.keepExistingParts) {
        // This part's file and the next one's are certain to be written from now on.
        for (const int part : {count(), count() + 1}) {
            const std::filesystem::path path = partDatabasePath(settings_.databasePath, part);
            std::error_code error;
            if (std::filesystem::exists(path, error)) {
                return StageError{OutcomeKind::SaveError, quotedPath(path) + " exists already"};
            }
        }
    }
    if (StageResult error = finishPart(framesInPart)) {
        return error;
    }
    return start();
}

StageResult DatabaseParts::finishPart(std::int64_t framesInPart) {
    Finished finished;
    finished.file = std::make_unique<AtomicFile>(partDatabasePath(settings_.databasePath, count()));
    finished.file->setReplaceExisting(settings_.replaceExisting);
    finished.frames = framesInPart;
    finished.records = current_->numRecords();
    if (writeDatabase(*current_, *finished.file, &stop_) != kDbOk) {
        if (stop_.requested()) {
            return cancelledError();
        }
        return StageError{OutcomeKind::SaveError,
                          "cannot write " + quotedPath(finished.file->target())};
    }
    finished_.push_back(std::move(finished));
    current_.reset();  // one image at a time
    return std::nullopt;
}

StageResult DatabaseParts::save(std::int64_t framesInPart, ByteSink* sink) {
    saved_.clear();
    if (finished_.empty()) {
        if (StageResult error = sink != nullptr ? saveStage(*current_, *sink, stop_)
                                                : saveStage(*current_, settings_.databasePath,
                                                            stop_, settings_.replaceExisting)) {
            return error;
        }
        saved_.push_back({sink != nullptr ? std::filesystem::path{} : settings_.databasePath,
                          title_, framesInPart, current_->numRecords()});
        return std::nullopt;
    }

    // The last part is written like the others; then every part gets its title.
    if (stop_.requested()) {
        return cancelledError();
    }
    if (StageResult error = finishPart(framesInPart)) {
        return error;
    }
    const int parts = static_cast<int>(finished_.size());
    for (int part = 1; part <= parts; ++part) {
        Finished& finished = finished_[static_cast<std::size_t>(part - 1)];
        const std::string title = partTitle(title_, part, parts);
        // The name is the header's first field: NUL-terminated, the rest zero-filled.
        std::array<std::uint8_t, DatabaseHeader::kNameBytes> name{};
        std::copy(title.begin(), title.end(), name.begin());
        if (!finished.file->writeAt(0, name.data(), name.size())) {
            return StageError{OutcomeKind::SaveError,
                              "cannot write " + quotedPath(finished.file->target())};
        }
        saved_.push_back({finished.file->target(), title, finished.frames, finished.records});
    }
    if (stop_.requested()) {
        saved_.clear();
        return cancelledError();
    }
    for (int part = 1; part <= parts; ++part) {
        AtomicFile& file = *finished_[static_cast<std::size_t>(part - 1)].file;
        if (!file.commit()) {
            // All of them or none: the parts already in place go again.
            for (int earlier = 1; earlier < part; ++earlier) {
                std::error_code ignored;
                std::filesystem::remove(saved_[static_cast<std::size_t>(earlier - 1)].path,
                                        ignored);
            }
            saved_.clear();
            StageError error{OutcomeKind::SaveError, file.errorText()};  // names the part
            if (error.detail.empty()) {
                error.detail = "cannot write " + quotedPath(file.target());
            }
            return error;
        }
    }
    return std::nullopt;
}

}  // namespace zelvio
