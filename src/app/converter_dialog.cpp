#include "app/converter_dialog.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QThread>
#include <QUrl>
#include <functional>
#include <limits>
#include <string>

#include "app/about_dialog.h"
#include "app/application_icon.h"
#include "app/dialog_units.h"

#ifdef Q_OS_WIN
#ifndef NOMINMAX
#define NOMINMAX  // keeps std::numeric_limits<int>::max() usable
#endif
#include <windows.h>
#endif

namespace zelvio {
namespace {

constexpr const char* kControlIdProperty = "controlId";

// The dialog's size and the progress bar's place, in dialog units. The bar sits in the free band
// between the check box and the buttons and is shown only while a conversion runs.
constexpr int kDialogWidth = 371;
constexpr int kDialogHeight = 268;
constexpr int kProgressX = 15, kProgressY = 221, kProgressWidth = 341, kProgressHeight = 9;

enum class Kind { DefaultButton, Button, Label, Edit, CheckBox, Radio, GroupBox };

struct ControlLayout {
    int id;  // 0 for the controls without an id
    Kind kind;
    const char* text;
    int x, y, width, height;
};

// The controls in tab order; the on-screen order comes from the positions.
constexpr ControlLayout kControls[] = {
    {control_id::kOk, Kind::DefaultButton, "OK", 100, 234, 50, 14},
    {control_id::kCancel, Kind::Button, "Cancel", 230, 234, 50, 14},
    {0, Kind::Label, "Input WAV file name", 15, 18, 81, 8},
    {control_id::kInputPath, Kind::Edit, "", 112, 15, 164, 14},
    {control_id::kBrowseInput, Kind::Button, "Browse", 282, 15, 38, 14},
    {0, Kind::Label, "Audio Database Title", 15, 65, 86, 8},
    {control_id::kTitle, Kind::Edit, "", 112, 61, 163, 14},
    {0, Kind::Label, "Audio Description", 15, 90, 79, 8},
    {control_id::kDescription, Kind::Edit, "", 112, 87, 225, 14},
    {0, Kind::Label, "Database file name", 15, 41, 73, 8},
    {control_id::kDatabasePath, Kind::Edit, "", 112, 38, 163, 14},
    {control_id::kBrowseDatabase, Kind::Button, "Browse", 282, 38, 38, 14},
    {control_id::kVoiceActivity, Kind::CheckBox, "Voice Activity Detection", 15, 207, 112, 10},
    {control_id::kEightBits, Kind::Radio, "8 bit per sample (no compression)", 50, 125, 148, 10},
    {control_id::kFourBits, Kind::Radio, "4 bit per sample", 50, 142, 123, 10},
    {control_id::kThreeBits, Kind::Radio, "3 bit per sample", 50, 159, 112, 10},
    {control_id::kTwoBits, Kind::Radio, "2 bit per sample", 50, 176, 100, 10},
    {0, Kind::GroupBox, "Compression Mode", 32, 112, 283, 79},
};

// The radio buttons with the bits per sample each stands for.
struct ModeButton {
    int id;
    int bitsPerSample;
};
constexpr ModeButton kModeButtons[] = {
    {control_id::kEightBits, 8},
    {control_id::kFourBits, 4},
    {control_id::kThreeBits, 3},
    {control_id::kTwoBits, 2},
};

// The check box shares its keyboard group with the radio buttons below it on screen, which have
// no tab stop of their own: the up and down arrows move into that group.
class GroupedCheckBox : public QCheckBox {
  public:
    GroupedCheckBox(const QString& text, QWidget* parent, std::function<void()> enterGroup)
        : QCheckBox(text, parent), enterGroup_(std::move(enterGroup)) {}

  protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down) {
            enterGroup_();
            return;
        }
        QCheckBox::keyPressEvent(event);
    }

  private:
    std::function<void()> enterGroup_;
};

// The first local file among what is being dragged; empty when there is none.
QString droppedFile(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls()) {
        return {};
    }
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile() && !url.toLocalFile().isEmpty()) {
            return url.toLocalFile();
        }
    }
    return {};
}

}  // namespace

QList<FileFilter> inputFileFilters() {
    return {
        {QString::fromLatin1(kAudioFilesDescription), QString::fromStdString(inputFilePatterns())},
        {QString::fromLatin1(kAllFilesDescription), QString::fromLatin1(kAllFilesPattern)}};
}

std::filesystem::path pathFromText(const QString& text) {
#ifdef Q_OS_WIN
    return std::filesystem::path(text.toStdWString());
#else
    const QByteArray bytes = QFile::encodeName(text);
    return std::filesystem::path(std::string(bytes.constData(), static_cast<size_t>(bytes.size())));
#endif
}

QString textFromPath(const std::filesystem::path& path) {
#ifdef Q_OS_WIN
    return QString::fromStdWString(path.wstring());
#else
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
#endif
}

ConverterDialog::ConverterDialog(QWidget* parent)
    : QDialog(parent),
      ownPresenter_(std::make_unique<MessageBoxPresenter>(this)),
      ownChooser_(std::make_unique<PlatformFileChooser>()),
      presenter_(ownPresenter_.get()),
      chooser_(ownChooser_.get()) {
    buildControls();
    initialise();
}

ConverterDialog::ConverterDialog(MessagePresenter& presenter, FileChooser& chooser, QWidget* parent)
    : QDialog(parent), presenter_(&presenter), chooser_(&chooser) {
    buildControls();
    initialise();
}

ConverterDialog::~ConverterDialog() {
    if (worker_ != nullptr) {
        // The job cannot be stopped part-way; the dialog waits for it rather than leave it
        // writing into a destroyed object.
        worker_->wait();
        delete worker_;
        QApplication::restoreOverrideCursor();
    }
}

QWidget* ConverterDialog::control(int id) const {
    const auto children = findChildren<QWidget*>();
    for (QWidget* child : children) {
        if (child->property(kControlIdProperty).toInt() == id) {
            return child;
        }
    }
    return nullptr;
}

void ConverterDialog::buildControls() {
    const DialogUnits units = DialogUnits::fromFont(font());
    setWindowTitle(QString::fromLatin1(kConverterCaption));
    // Caption, window menu and close box; no minimise or maximise box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(units.toPixels(kDialogWidth, kDialogHeight));

    QWidget* previousStop = nullptr;
    QGroupBox* groupBox = nullptr;
    for (const ControlLayout& layout : kControls) {
        const QString text = QString::fromLatin1(layout.text);
        QWidget* widget = nullptr;
        switch (layout.kind) {
            case Kind::DefaultButton:
            case Kind::Button: {
                auto* button = new QPushButton(text, this);
                button->setDefault(layout.kind == Kind::DefaultButton);
                widget = button;
                break;
            }
            case Kind::Label:
                widget = new QLabel(text, this);
                break;
            case Kind::Edit: {
                auto* edit = new QLineEdit(this);
                edit->setMaxLength(std::numeric_limits<int>::max());
                widget = edit;
                break;
            }
            case Kind::CheckBox:
                widget = new GroupedCheckBox(text, this, [this] {
                    for (const ModeButton& mode : kModeButtons) {
                        auto* radio = static_cast<QRadioButton*>(control(mode.id));
                        if (radio->isChecked()) {
                            radio->setFocus(Qt::OtherFocusReason);
                            return;
                        }
                    }
                    control(control_id::kEightBits)->setFocus(Qt::OtherFocusReason);
                });
                break;
            case Kind::Radio: {
                // Radio buttons that share the dialog as parent exclude one another; they take
                // the focus from a click or an arrow key, never from Tab.
                auto* radio = new QRadioButton(text, this);
                radio->setFocusPolicy(Qt::ClickFocus);
                widget = radio;
                break;
            }
            case Kind::GroupBox:
                groupBox = new QGroupBox(text, this);
                widget = groupBox;
                break;
        }
        widget->setGeometry(units.toPixels(layout.x, layout.y, layout.width, layout.height));
        if (layout.id != 0) {
            widget->setProperty(kControlIdProperty, layout.id);
        }
        if (widget->focusPolicy() & Qt::TabFocus) {
            if (previousStop != nullptr) {
                setTabOrder(previousStop, widget);
            }
            previousStop = widget;
        }
    }
    // The frame is listed last but lies beneath the radio buttons it surrounds.
    groupBox->lower();

    inputPath_ = static_cast<QLineEdit*>(control(control_id::kInputPath));
    databasePath_ = static_cast<QLineEdit*>(control(control_id::kDatabasePath));
    title_ = static_cast<QLineEdit*>(control(control_id::kTitle));
    description_ = static_cast<QLineEdit*>(control(control_id::kDescription));
    setAcceptDrops(true);
    for (QLineEdit* edit : {inputPath_, databasePath_, title_, description_}) {
        edit->installEventFilter(this);
    }
    voiceActivity_ = static_cast<QAbstractButton*>(control(control_id::kVoiceActivity));

    progress_ = new QProgressBar(this);
    progress_->setRange(0, 1000);
    progress_->setTextVisible(false);
    progress_->setGeometry(units.toPixels(kProgressX, kProgressY, kProgressWidth, kProgressHeight));
    progress_->hide();

    connect(static_cast<QPushButton*>(control(control_id::kOk)), &QPushButton::clicked, this,
            &ConverterDialog::startConversion);
    connect(static_cast<QPushButton*>(control(control_id::kCancel)), &QPushButton::clicked, this,
            &ConverterDialog::reject);
    connect(static_cast<QPushButton*>(control(control_id::kBrowseInput)), &QPushButton::clicked,
            this, &ConverterDialog::browseInput);
    connect(static_cast<QPushButton*>(control(control_id::kBrowseDatabase)), &QPushButton::clicked,
            this, &ConverterDialog::browseDatabase);

    // Where the window menu cannot be reached, the about box is on the dialog's context menu and
    // on F1.
    auto* about = new QAction(QString::fromLatin1(kAboutMenuText), this);
    about->setShortcut(QKeySequence(Qt::Key_F1));
    about->setShortcutContext(Qt::WindowShortcut);
    connect(about, &QAction::triggered, this, [this] { systemCommand(kAboutCommand); });
    addAction(about);
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

void ConverterDialog::initialise() {
    addSystemMenuEntry();
    setWindowIcon(applicationIcon());

    // Always 8 bits at the start, whatever the settings hold.
    for (const ModeButton& mode : kModeButtons) {
        static_cast<QAbstractButton*>(control(mode.id))
            ->setChecked(mode.id == control_id::kEightBits);
    }
    inputPath_->setText(textFromPath(settings_.inputPath));
    databasePath_->setText(textFromPath(settings_.databasePath));
    title_->setText(QString::fromStdString(settings_.title));
    description_->setText(QString::fromStdString(settings_.description));
    voiceActivity_->setChecked(settings_.voiceActivityDetection);

    control(control_id::kOk)->setFocus(Qt::OtherFocusReason);
}

bool ConverterDialog::systemCommand(int command) {
    // The window menu keeps its low four bits for itself.
    if ((command & 0xFFF0) != kAboutCommand) {
        return false;
    }
    AboutDialog about(this);
    about.exec();
    return true;
}

void ConverterDialog::browseInput() {
    const QString chosen = chooser_->openFileName(this, inputFileFilters());
    if (!chosen.isEmpty()) {
        settings_.inputPath = pathFromText(chosen);
        inputPath_->setText(chosen);
    }
}

void ConverterDialog::browseDatabase() {
    const QString chosen =
        chooser_->saveFileName(this, {QString::fromLatin1(kDatabaseFilesDescription),
                                      QString::fromLatin1(kDatabaseFilesPattern)});
    if (!chosen.isEmpty()) {
        settings_.databasePath = pathFromText(chosen);
        databasePath_->setText(chosen);
    }
}

bool ConverterDialog::dropFile(const QString& path) {
    if (path.isEmpty() || worker_ != nullptr) {
        return false;
    }
    if (path.endsWith(QStringLiteral(".pdb"), Qt::CaseInsensitive)) {
        settings_.databasePath = pathFromText(path);
        databasePath_->setText(path);
    } else {
        settings_.inputPath = pathFromText(path);
        inputPath_->setText(path);
    }
    return true;
}

void ConverterDialog::dragEnterEvent(QDragEnterEvent* event) {
    if (worker_ == nullptr && !droppedFile(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void ConverterDialog::dragMoveEvent(QDragMoveEvent* event) {
    if (worker_ == nullptr && !droppedFile(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void ConverterDialog::dropEvent(QDropEvent* event) {
    if (dropFile(droppedFile(event->mimeData()))) {
        event->acceptProposedAction();
    }
}

bool ConverterDialog::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop: {
            const auto* drag = static_cast<QDropEvent*>(event);
            if (droppedFile(drag->mimeData()).isEmpty()) {
                break;  // text for the edit
            }
            if (event->type() == QEvent::Drop) {
                dropEvent(static_cast<QDropEvent*>(event));
            } else if (worker_ == nullptr) {
                static_cast<QDropEvent*>(event)->acceptProposedAction();
            }
            return true;
        }
        default:
            break;
    }
    return QDialog::eventFilter(watched, event);
}

void ConverterDialog::readControls() {
    settings_.inputPath = pathFromText(inputPath_->text());
    settings_.databasePath = pathFromText(databasePath_->text());
    settings_.title = title_->text().toStdString();
    settings_.description = description_->text().toStdString();
    settings_.bitsPerSample = 2;  // 1011 checked, or none
    for (const ModeButton& mode : kModeButtons) {
        if (static_cast<QAbstractButton*>(control(mode.id))->isChecked()) {
            settings_.bitsPerSample = mode.bitsPerSample;
            break;
        }
    }
    settings_.voiceActivityDetection = voiceActivity_->isChecked();
}

void ConverterDialog::setControlsEnabled(bool enabled) {
    for (const ControlLayout& layout : kControls) {
        if (layout.id != 0) {
            control(layout.id)->setEnabled(enabled);
        }
    }
    for (QAction* action : actions()) {
        action->setEnabled(enabled);
    }
}

void ConverterDialog::startConversion() {
    if (worker_ != nullptr) {
        return;
    }
    readControls();
    setControlsEnabled(false);
    progress_->setValue(0);
    progress_->show();
    QApplication::setOverrideCursor(Qt::BusyCursor);

    reportedPermille_ = -1;
    worker_ = QThread::create([this, settings = settings_] {
        ConversionJob job(settings, [this](double fraction) {
            // Only changes of a tenth of a percent are passed on, so the event queue holds at
            // most a thousand updates for the whole run.
            const int permille = static_cast<int>(fraction * 1000.0);
            if (reportedPermille_.exchange(permille) != permille) {
                QMetaObject::invokeMethod(
                    this, [this, permille] { showProgress(permille); }, Qt::QueuedConnection);
            }
        });
        outcome_ = job.run();
    });
    // finished is emitted on the worker thread; the connection queues it to this one.
    connect(worker_, &QThread::finished, this, &ConverterDialog::finishConversion);
    worker_->start();
}

void ConverterDialog::showProgress(int permille) {
    progress_->setValue(permille);
}

void ConverterDialog::finishConversion() {
    worker_->wait();
    progress_->setValue(progress_->maximum());
    QApplication::restoreOverrideCursor();
    presenter_->show(QString::fromStdString(outcome_.message),
                     QString::fromStdString(outcome_.caption), outcome_.icon,
                     QString::fromStdString(outcome_.detail));
    delete worker_;
    worker_ = nullptr;
    accept();
}

void ConverterDialog::reject() {
    if (worker_ == nullptr) {
        QDialog::reject();
    }
}

void ConverterDialog::closeEvent(QCloseEvent* event) {
    if (worker_ != nullptr) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

#ifdef Q_OS_WIN
void ConverterDialog::addSystemMenuEntry() {
    HMENU menu = GetSystemMenu(reinterpret_cast<HWND>(winId()), FALSE);
    const std::wstring text = QString::fromLatin1(kAboutMenuText).toStdWString();
    if (menu == nullptr || text.empty()) {
        return;
    }
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, kAboutCommand, text.c_str());
}

bool ConverterDialog::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
    const auto* msg = static_cast<const MSG*>(message);
    if (msg->message == WM_SYSCOMMAND && worker_ == nullptr &&
        systemCommand(static_cast<int>(msg->wParam))) {
        *result = 0;
        return true;
    }
    return QDialog::nativeEvent(eventType, message, result);
}
#else
// Qt has no access to the window menu here: the window manager draws it.
void ConverterDialog::addSystemMenuEntry() {}
#endif

}  // namespace zelvio
