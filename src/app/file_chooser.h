#pragma once
// How the dialog asks the user for a file name.

#include <QList>
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

    /// Asks for an existing file to open, offering filters (the first one chosen at the start).
    /// Returns its full path, or an empty text when the user cancelled.
    virtual QString openFileName(QWidget* owner, const QList<FileFilter>& filters) = 0;

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
    QString openFileName(QWidget* owner, const QList<FileFilter>& filters) override;
    QString saveFileName(QWidget* owner, const FileFilter& filter) override;
};

/// The filter text Qt's file dialogs take: "Palm database files (*.pdb)".
QString filterText(const FileFilter& filter);
/// Several filters as Qt's file dialogs take them: "Audio files (*.wav *.flac);;All files (*)".
QString filterText(const QList<FileFilter>& filters);

}  // namespace zelvio
