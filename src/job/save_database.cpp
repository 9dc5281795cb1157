#include "job/save_database.h"

namespace zelvio {
namespace {

/// Passes the image's bytes on to the file.
class AtomicFileSink final : public ByteSink {
  public:
    explicit AtomicFileSink(AtomicFile& file) : file_(file) {}
    [[nodiscard]] bool write(const std::uint8_t* bytes, std::size_t count) override {
        return file_.write(bytes, count);
    }

  private:
    AtomicFile& file_;
};

}  // namespace

DbStatus saveDatabase(PalmDatabase& database, const std::filesystem::path& path) {
    AtomicFile file(path);
    return saveDatabase(database, file);
}

DbStatus saveDatabase(PalmDatabase& database, AtomicFile& file) {
    if (!file.open()) {
        return kDbCannotCreate;
    }
    AtomicFileSink sink(file);
    if (database.writeImage(sink) != kDbOk) {
        file.discard();
        return kDbCannotCreate;
    }
    return file.commit() ? kDbOk : kDbCannotCreate;
}

}  // namespace zelvio
