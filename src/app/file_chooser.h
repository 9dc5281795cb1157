#pragma once
// How the dialog asks the user for a file name.

#include <QString>

class QWidget;

namespace zelvio {

/// One file-type filter: what the user reads and the pattern it stands for.
struct FileFilter {
    QString description;  ///< e.g. "WAVE files"
    QString pattern;      ///< e.g. "*.wav"
};

/// Asks for a file to read or to write. The converter dialog talks to this interface only, so
/// that tests can answer instead of the platform's file dialogs.
class FileChooser {
  public:
    virtual ~FileChooser() = default;

    /// Asks for an existing file to open. Returns its full path, or an empty text when the user
    /// cancelled.
    virtual QString openFileName(QWidget* owner, const FileFilter& filter) = 0;

    /// Asks for a file to save to; confirms with the user before an existing file is chosen and
    /// adds no extension to what is typed. Returns the full path, or an empty text when the user
    /// cancelled.
    virtual QString saveFileName(QWidget* owner, const FileFilter& filter) = 0;

    /// The folder the next question opens in; empty leaves it to the platform.
    void setStartFolder(const QString& folder) { startFolder_ = folder; }
    const QString& startFolder() const { return startFolder_; }

  private:
    QString startFolder_;
};

/// The platform's own open and save dialogs, modal to the owner.
class PlatformFileChooser final : public FileChooser {
  public:
    QString openFileName(QWidget* owner, const FileFilter& filter) override;
    QString saveFileName(QWidget* owner, const FileFilter& filter) override;
};

/// The filter text Qt's file dialogs take: "WAVE files (*.wav)".
QString filterText(const FileFilter& filter);

}  // namespace zelvio
