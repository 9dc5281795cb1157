#include "job/save_database.h"

namespace zelvio {
namespace {

/// Passes the image's bytes on to the file, until a stop is requested.
class AtomicFileSink final : public ByteSink {
  public:
    AtomicFileSink(AtomicFile& file, const StopToken* stop) : file_(file), stop_(stop) {}
    [[nodiscard]] bool write(const std::uint8_t* bytes, std::size_t count) override {
        return !stopped() && file_.write(bytes, count);
    }
    [[nodiscard]] bool stopped() const { return stop_ != nullptr && stop_->requested(); }

  private:
    AtomicFile& file_;
    const StopToken* stop_;
};

}  // namespace

DbStatus saveDatabase(PalmDatabase& database, const std::filesystem::path& path) {
    AtomicFile file(path);
    return saveDatabase(database, file);
}

DbStatus writeDatabase(PalmDatabase& database, AtomicFile& file, const StopToken* stop) {
    if (!file.open()) {
        return kDbCannotCreate;
    }
    AtomicFileSink sink(file, stop);
    if (database.writeImage(sink) != kDbOk || sink.stopped()) {
        file.discard();
        return kDbCannotCreate;
    }
    return kDbOk;
}

DbStatus saveDatabase(PalmDatabase& database, AtomicFile& file, const StopToken* stop) {
    if (writeDatabase(database, file, stop) != kDbOk) {
        return kDbCannotCreate;
    }
    return file.commit() ? kDbOk : kDbCannotCreate;
}

}  // namespace zelvio
