#pragma once
// The converter dialog: four text fields, the compression mode and voice activity detection.
//
// OK (or Enter) reads the controls into ConversionSettings and runs the ConversionJob on a worker
// thread while the dialog shows its progress (percentage, stage, time left) with the controls
// disabled but Cancel; the outcome is then shown through the MessagePresenter, its detail the
// summary `zelvio convert` prints, and the dialog closes as accepted. Cancel, Escape and the
// close box close it as rejected before a run. During a run Cancel and Escape stop it through
// the job's StopToken (within a block of input; nothing is written), and the close box asks
// first; the dialog closes as rejected once the run has stopped.
//
// What the fields mean, the suggested database name, the progress text and the outcome's message
// come from frontend/; this class draws the controls and wires them.

#include <QDialog>
#include <QElapsedTimer>
#include <QString>
#include <atomic>
#include <chrono>
#include <memory>

#include "app/file_chooser.h"
#include "app/message_presenter.h"
#include "frontend/converter_form.h"
#include "job/conversion_job.h"

class QAbstractButton;
class QLineEdit;
class QProgressBar;
class QThread;

namespace zelvio {

// The control ids (control_id::kOk, ...) and the controls' texts are the form's, shared with
// every front end: frontend/converter_form.h. Each control's "controlId" property holds its id.

/// The command that opens the about box; every command whose value AND 0xFFF0 equals it does.
inline constexpr int kAboutCommand = 16;

/// Texts of the converter dialog.
inline constexpr const char* kConverterCaption = "Zelvio Converter";
inline constexpr const char* kAboutMenuText = "&About Zelvio Converter...";
inline constexpr const char* kAudioFilesDescription = "Audio files";
inline constexpr const char* kAllFilesDescription = "All files";
inline constexpr const char* kAllFilesPattern = "*";
inline constexpr const char* kDatabaseFilesDescription = "Palm database files";
inline constexpr const char* kDatabaseFilesPattern = "*.pdb";

/// The filters the input's Browse offers: the audio files this build reads ("Audio files (*.wav
/// *.flac ...)", the patterns from inputFilePatterns()), then all files.
QList<FileFilter> inputFileFilters();

/// The dialog, 371 x 268 dialog units, fixed in size. A file dropped on it fills the input field,
/// a database file (a name ending in .pdb) the database field. Tab goes through the controls in
/// their order on screen, from the input row down to OK and Cancel, and stops at the checked radio
/// button; every label has a mnemonic and every control an accessible name and description.
class ConverterDialog : public QDialog {
    Q_OBJECT

  public:
    /// A dialog that shows message boxes and the platform's file dialogs.
    explicit ConverterDialog(QWidget* parent = nullptr);
    /// A dialog that shows messages through presenter and asks for files through chooser; both
    /// must outlive the dialog.
    ConverterDialog(MessagePresenter& presenter, FileChooser& chooser, QWidget* parent = nullptr);
    ~ConverterDialog() override;

    /// The control with the given id (see control_id), or null for an unknown id.
    QWidget* control(int id) const;

    /// The settings: the initial values with what Browse chose, and from OK on what the
    /// controls held when it was pressed.
    const ConversionSettings& settings() const { return settings_; }

    /// True from OK until the outcome has been shown.
    bool isConverting() const { return worker_ != nullptr; }

    /// What the controls hold now.
    FormFields fields() const;

    /// Fills the input and database edits (and paths) with the texts that are not empty, as the
    /// command line gives them; an input alone brings the suggested database name with it.
    void fillPaths(const QString& inputPath, const QString& databasePath);

    /// Starts from what earlier runs chose: the remembered mode is checked and the Browse
    /// buttons open in the remembered folders while their fields are empty.
    void setRememberedChoices(const RememberedChoices& choices);
    /// What to remember of this run when the dialog closes (see choicesToRemember()).
    RememberedChoices choicesToRemember() const;

    /// The conversion's progress: the bar's value and its text (stage, percentage, time left),
    /// which is also the bar's accessible description.
    void showProgress(double fraction, ConversionStage stage, std::chrono::milliseconds elapsed);
    /// Shows the dialog as it looks during a conversion at that point, without converting: the
    /// controls locked and the progress shown (for screenshots).
    void showConversionPreview(double fraction, ConversionStage stage,
                               std::chrono::milliseconds elapsed);

    /// Handles a window-menu command. Returns true when the command was the about command
    /// (command AND 0xFFF0 equals kAboutCommand): the about box has been shown and closed.
    /// Returns false for every other command, which the platform handles.
    bool systemCommand(int command);

    /// Button 1001: asks for an audio file; on a choice, the input path and edit 1000 take it.
    void browseInput();
    /// Button 1005: asks for a database file; on a choice, the database path and edit 1004 take it.
    void browseDatabase();

    /// A file dropped on the dialog: a name ending in .pdb (in any case) goes to the database
    /// path and edit 1004, any other to the input path and edit 1000. Returns false, changing
    /// nothing, for an empty path or while a conversion runs.
    bool dropFile(const QString& path);

    /// OK: reads the controls into the settings and starts the conversion. Does nothing while a
    /// conversion runs.
    void startConversion();

    /// Cancel and Escape: close as rejected; while a conversion runs, stop it instead (within a
    /// block of input: nothing is written), and close once it has stopped.
    void reject() override;
    /// True after Cancel (or a confirmed close) asked the running conversion to stop.
    bool isStopping() const { return stopping_; }

  protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    /// Files dragged over the edits are the dialog's drop, not text for the edit.
    bool eventFilter(QObject* watched, QEvent* event) override;
#ifdef Q_OS_WIN
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;
#endif

  private:
    void buildControls();
    void setUpKeyboard();
    void initialise();
    void addSystemMenuEntry();
    void setControlsEnabled(bool enabled);
    void lockForConversion();
    void letRadioButtonsTakeTabFocus();
    /// "Best quality (slower)" can be changed while an ADPCM mode is checked.
    void offerBestQualityForAdpcm();
    void suggestDatabasePath();
    void finishConversion();
    void stopConversion();

    std::unique_ptr<MessagePresenter> ownPresenter_;
    std::unique_ptr<FileChooser> ownChooser_;
    MessagePresenter* presenter_;
    FileChooser* chooser_;

    ConversionSettings settings_;
    RememberedChoices remembered_;
    DatabaseNameSuggester suggester_;
    ConversionOutcome outcome_;  // written by the worker, read once it has finished
    QThread* worker_ = nullptr;
    StopToken stop_;         // the running conversion's: Cancel requests it
    bool stopping_ = false;  // a stop was requested; the dialog closes once the run ends
    QElapsedTimer runTime_;
    // The last report passed on by the worker: permille x 4 + stage, -1 before the first.
    std::atomic<int> reportedState_{-1};

    QLineEdit* inputPath_ = nullptr;
    QLineEdit* databasePath_ = nullptr;
    QLineEdit* title_ = nullptr;
    QLineEdit* description_ = nullptr;
    QAbstractButton* voiceActivity_ = nullptr;
    QAbstractButton* bestQuality_ = nullptr;
    QAbstractButton* split_ = nullptr;
    QProgressBar* progress_ = nullptr;
};

/// Converts between the dialog's texts and paths without losing characters.
std::filesystem::path pathFromText(const QString& text);
QString textFromPath(const std::filesystem::path& path);

}  // namespace zelvio
