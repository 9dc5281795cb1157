#include "app/converter_dialog.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
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
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/about_dialog.h"
#include "app/application_icon.h"
#include "app/dialog_units.h"
#include "frontend/outcome_text.h"
#include "frontend/progress_text.h"

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
// beneath the buttons and is shown only while a conversion runs.
constexpr int kDialogWidth = 371;
constexpr int kDialogHeight = 268;
constexpr int kProgressX = 15, kProgressY = 253, kProgressWidth = 341, kProgressHeight = 9;

enum class Kind { DefaultButton, Button, Label, Edit, CheckBox, Radio, GroupBox };

struct ControlLayout {
    int id;  // 0 for the controls without an id
    Kind kind;
    const char* text;  // with its mnemonic marker
    int x, y, width, height;
    int buddy = 0;  // for a label: the edit its mnemonic leads to
};

// The controls in the order of the dialog's template; the on-screen order comes from the
// positions, the keyboard order from kKeyboardOrder.
constexpr ControlLayout kControls[] = {
    {control_id::kOk, Kind::DefaultButton, form_text::kOk, 100, 234, 50, 14},
    {control_id::kCancel, Kind::Button, form_text::kCancel, 230, 234, 50, 14},
    {0, Kind::Label, form_text::kInputLabel, 15, 18, 81, 8, control_id::kInputPath},
    {control_id::kInputPath, Kind::Edit, "", 112, 15, 164, 14},
    {control_id::kBrowseInput, Kind::Button, form_text::kBrowseInput, 282, 15, 38, 14},
    {0, Kind::Label, form_text::kTitleLabel, 15, 65, 86, 8, control_id::kTitle},
    {control_id::kTitle, Kind::Edit, "", 112, 61, 163, 14},
    {0, Kind::Label, form_text::kDescriptionLabel, 15, 90, 79, 8, control_id::kDescription},
    {control_id::kDescription, Kind::Edit, "", 112, 87, 225, 14},
    {0, Kind::Label, form_text::kDatabaseLabel, 15, 41, 73, 8, control_id::kDatabasePath},
    {control_id::kDatabasePath, Kind::Edit, "", 112, 38, 163, 14},
    {control_id::kBrowseDatabase, Kind::Button, form_text::kBrowseDatabase, 282, 38, 38, 14},
    {control_id::kVoiceActivity, Kind::CheckBox, form_text::kVoiceActivity, 15, 207, 112, 10},
    {control_id::kSplit, Kind::CheckBox, form_text::kSplit, 15, 220, 200, 10},
    {control_id::kEightBits, Kind::Radio, form_text::kEightBits, 50, 125, 148, 10},
    {control_id::kFourBits, Kind::Radio, form_text::kFourBits, 50, 142, 123, 10},
    {control_id::kThreeBits, Kind::Radio, form_text::kThreeBits, 50, 159, 112, 10},
    {control_id::kTwoBits, Kind::Radio, form_text::kTwoBits, 50, 176, 100, 10},
    {control_id::kBestQuality, Kind::CheckBox, form_text::kBestQuality, 210, 176, 95, 10},
    {0, Kind::GroupBox, form_text::kModeGroup, 32, 112, 283, 79},
};

// The check box shares its keyboard group with the radio buttons above it on screen: the up and
// down arrows move into that group.
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

// The frame around the radio buttons, which are the dialog's children, not its own: its mnemonic
// leads to the checked one.
class ModeGroupBox : public QGroupBox {
  public:
    ModeGroupBox(const QString& title, QWidget* parent, std::function<void()> enterGroup)
        : QGroupBox(title, parent), enterGroup_(std::move(enterGroup)) {}

  protected:
    bool event(QEvent* event) override {
        if (event->type() == QEvent::Shortcut) {
            enterGroup_();
            return true;
        }
        return QGroupBox::event(event);
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
    return pathFromUtf8(text.toStdString());
}

QString textFromPath(const std::filesystem::path& path) {
    return QString::fromStdString(utf8FromPath(path));
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
        // The job is stopped and waited for rather than left writing into a destroyed object.
        stop_.request();
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

    const auto enterModeGroup = [this] {
        for (const CompressionMode& mode : kCompressionModes) {
            auto* radio = static_cast<QRadioButton*>(control(mode.id));
            if (radio->isChecked()) {
                radio->setFocus(Qt::ShortcutFocusReason);
                return;
            }
        }
        control(control_id::kEightBits)->setFocus(Qt::ShortcutFocusReason);
    };
    QGroupBox* groupBox = nullptr;
    std::vector<std::pair<QLabel*, int>> buddies;
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
            case Kind::Label: {
                auto* label = new QLabel(text, this);
                buddies.emplace_back(label, layout.buddy);
                widget = label;
                break;
            }
            case Kind::Edit: {
                auto* edit = new QLineEdit(this);
                edit->setMaxLength(std::numeric_limits<int>::max());
                widget = edit;
                break;
            }
            case Kind::CheckBox:
                // The detection box lies just beneath the modes; the split box beneath it.
                widget = layout.id == control_id::kVoiceActivity
                             ? new GroupedCheckBox(text, this, enterModeGroup)
                             : new QCheckBox(text, this);
                break;
            case Kind::Radio: {
                // Radio buttons that share the dialog as parent exclude one another. Tab stops
                // at the checked one only (letRadioButtonsTakeTabFocus); the arrow keys move
                // between them.
                auto* radio = new QRadioButton(text, this);
                radio->setFocusPolicy(Qt::ClickFocus);
                widget = radio;
                break;
            }
            case Kind::GroupBox:
                groupBox = new ModeGroupBox(text, this, enterModeGroup);
                widget = groupBox;
                break;
        }
        widget->setGeometry(units.toPixels(layout.x, layout.y, layout.width, layout.height));
        if (layout.id != 0) {
            widget->setProperty(kControlIdProperty, layout.id);
        }
    }
    // The frame is listed last but lies beneath the radio buttons it surrounds.
    groupBox->lower();
    for (const auto& [label, buddy] : buddies) {
        label->setBuddy(control(buddy));
    }

    inputPath_ = static_cast<QLineEdit*>(control(control_id::kInputPath));
    databasePath_ = static_cast<QLineEdit*>(control(control_id::kDatabasePath));
    title_ = static_cast<QLineEdit*>(control(control_id::kTitle));
    description_ = static_cast<QLineEdit*>(control(control_id::kDescription));
    setAcceptDrops(true);
    for (QLineEdit* edit : {inputPath_, databasePath_, title_, description_}) {
        edit->installEventFilter(this);
    }
    voiceActivity_ = static_cast<QAbstractButton*>(control(control_id::kVoiceActivity));
    bestQuality_ = static_cast<QAbstractButton*>(control(control_id::kBestQuality));
    split_ = static_cast<QAbstractButton*>(control(control_id::kSplit));

    for (const AccessibleText& text : kAccessibleTexts) {
        QWidget* widget = control(text.id);
        widget->setAccessibleName(QString::fromUtf8(text.name));
        widget->setAccessibleDescription(QString::fromUtf8(text.description));
    }

    progress_ = new QProgressBar(this);
    progress_->setRange(0, 1000);
    progress_->setTextVisible(true);
    progress_->setAlignment(Qt::AlignCenter);
    progress_->setAccessibleName(QStringLiteral("Conversion progress"));
    progress_->setGeometry(units.toPixels(kProgressX, kProgressY, kProgressWidth, kProgressHeight));
    progress_->hide();

    setUpKeyboard();

    connect(static_cast<QPushButton*>(control(control_id::kOk)), &QPushButton::clicked, this,
            &ConverterDialog::startConversion);
    connect(static_cast<QPushButton*>(control(control_id::kCancel)), &QPushButton::clicked, this,
            &ConverterDialog::reject);
    connect(static_cast<QPushButton*>(control(control_id::kBrowseInput)), &QPushButton::clicked,
            this, &ConverterDialog::browseInput);
    connect(static_cast<QPushButton*>(control(control_id::kBrowseDatabase)), &QPushButton::clicked,
            this, &ConverterDialog::browseDatabase);
    connect(inputPath_, &QLineEdit::textChanged, this, &ConverterDialog::suggestDatabasePath);

    // Where the window menu cannot be reached, the about box is on the dialog's context menu and
    // on F1.
    auto* about = new QAction(QString::fromLatin1(kAboutMenuText), this);
    about->setShortcut(QKeySequence(Qt::Key_F1));
    about->setShortcutContext(Qt::WindowShortcut);
    connect(about, &QAction::triggered, this, [this] { systemCommand(kAboutCommand); });
    addAction(about);
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

void ConverterDialog::setUpKeyboard() {
    QWidget* previous = nullptr;
    for (int id : kKeyboardOrder) {
        QWidget* widget = control(id);
        if (previous != nullptr) {
            setTabOrder(previous, widget);
        }
        previous = widget;
    }
    for (const CompressionMode& mode : kCompressionModes) {
        connect(static_cast<QAbstractButton*>(control(mode.id)), &QAbstractButton::toggled, this,
                &ConverterDialog::letRadioButtonsTakeTabFocus);
        connect(static_cast<QAbstractButton*>(control(mode.id)), &QAbstractButton::toggled, this,
                &ConverterDialog::offerBestQualityForAdpcm);
    }
    // A mnemonic checks a radio button or the check box and, as a click does, gives it the focus.
    for (int id : {control_id::kEightBits, control_id::kFourBits, control_id::kThreeBits,
                   control_id::kTwoBits, control_id::kBestQuality, control_id::kVoiceActivity,
                   control_id::kSplit}) {
        QWidget* button = control(id);
        connect(static_cast<QAbstractButton*>(button), &QAbstractButton::clicked, button,
                [button] { button->setFocus(Qt::ShortcutFocusReason); });
    }
}

void ConverterDialog::offerBestQualityForAdpcm() {
    // The search chooses ADPCM codes: 8-bit PCM has none to choose. The check mark stays for
    // when an ADPCM mode is picked again.
    bestQuality_->setEnabled(
        !static_cast<QAbstractButton*>(control(control_id::kEightBits))->isChecked());
}

void ConverterDialog::letRadioButtonsTakeTabFocus() {
    for (const CompressionMode& mode : kCompressionModes) {
        auto* radio = static_cast<QAbstractButton*>(control(mode.id));
        radio->setFocusPolicy(radio->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
    }
}

void ConverterDialog::initialise() {
    addSystemMenuEntry();
    setWindowIcon(applicationIcon());

    // 8 bits at the start, whatever the settings hold (the remembered mode comes later).
    for (const CompressionMode& mode : kCompressionModes) {
        static_cast<QAbstractButton*>(control(mode.id))
            ->setChecked(mode.id == control_id::kEightBits);
    }
    letRadioButtonsTakeTabFocus();
    offerBestQualityForAdpcm();
    inputPath_->setText(textFromPath(settings_.inputPath));
    databasePath_->setText(textFromPath(settings_.databasePath));
    title_->setText(QString::fromStdString(settings_.title));
    description_->setText(QString::fromStdString(settings_.description));
    voiceActivity_->setChecked(settings_.voiceActivityDetection);
    split_->setChecked(settings_.split);

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
    chooser_->setStartFolder(QString::fromStdString(
        browseFolder(inputPath_->text().toStdString(), remembered_.inputFolder)));
    const QString chosen = chooser_->openFileName(this, inputFileFilters());
    if (!chosen.isEmpty()) {
        settings_.inputPath = pathFromText(chosen);
        inputPath_->setText(chosen);
    }
}

void ConverterDialog::browseDatabase() {
    // An empty database field opens where the input is, unless a database folder is remembered.
    const std::string remembered =
        remembered_.databaseFolder.empty()
            ? browseFolder(inputPath_->text().toStdString(), remembered_.inputFolder)
            : remembered_.databaseFolder;
    chooser_->setStartFolder(
        QString::fromStdString(browseFolder(databasePath_->text().toStdString(), remembered)));
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

FormFields ConverterDialog::fields() const {
    FormFields fields;
    fields.inputPath = inputPath_->text().toStdString();
    fields.databasePath = databasePath_->text().toStdString();
    fields.title = title_->text().toStdString();
    fields.description = description_->text().toStdString();
    fields.checkedModeId = 0;
    for (const CompressionMode& mode : kCompressionModes) {
        if (static_cast<QAbstractButton*>(control(mode.id))->isChecked()) {
            fields.checkedModeId = mode.id;
            break;
        }
    }
    fields.voiceActivityDetection = voiceActivity_->isChecked();
    fields.bestQuality = bestQuality_->isChecked();
    fields.split = split_->isChecked();
    return fields;
}

void ConverterDialog::fillPaths(const QString& inputPath, const QString& databasePath) {
    if (!inputPath.isEmpty()) {
        settings_.inputPath = pathFromText(inputPath);
        inputPath_->setText(inputPath);
    }
    if (!databasePath.isEmpty()) {
        settings_.databasePath = pathFromText(databasePath);
        databasePath_->setText(databasePath);
    }
}

void ConverterDialog::suggestDatabasePath() {
    if (const std::optional<std::string> suggestion = suggester_.inputChanged(
            inputPath_->text().toStdString(), databasePath_->text().toStdString())) {
        databasePath_->setText(QString::fromStdString(*suggestion));
    }
}

void ConverterDialog::setRememberedChoices(const RememberedChoices& choices) {
    remembered_ = choices;
    static_cast<QAbstractButton*>(control(modeForBits(choices.bitsPerSample)))->setChecked(true);
    bestQuality_->setChecked(choices.bestQuality);
}

RememberedChoices ConverterDialog::choicesToRemember() const {
    return zelvio::choicesToRemember(remembered_, fields());
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
    if (enabled) {
        offerBestQualityForAdpcm();
    }
}

void ConverterDialog::lockForConversion() {
    setControlsEnabled(false);
    // Cancel stays: it stops the conversion.
    control(control_id::kCancel)->setEnabled(true);
    progress_->show();
}

void ConverterDialog::startConversion() {
    if (worker_ != nullptr) {
        return;
    }
    settings_ = settingsFromFields(fields());
    stop_.reset();
    stopping_ = false;
    settings_.stop = &stop_;
    lockForConversion();
    showProgress(0.0, ConversionStage::Reading, std::chrono::milliseconds(0));
    QApplication::setOverrideCursor(Qt::BusyCursor);

    runTime_.start();
    reportedState_ = -1;
    worker_ = QThread::create([this, settings = settings_] {
        ConversionJob job(settings, [this](double fraction, ConversionStage stage) {
            // Only changes of a tenth of a percent or of the stage are passed on, so the event
            // queue holds at most a few thousand updates for the whole run.
            const int permille = static_cast<int>(fraction * 1000.0);
            const int state = permille * 4 + static_cast<int>(stage);
            if (reportedState_.exchange(state) != state) {
                QMetaObject::invokeMethod(
                    this,
                    [this, fraction, stage] {
                        showProgress(fraction, stage,
                                     std::chrono::milliseconds(runTime_.elapsed()));
                    },
                    Qt::QueuedConnection);
            }
        });
        outcome_ = job.run();
    });
    // finished is emitted on the worker thread; the connection queues it to this one.
    connect(worker_, &QThread::finished, this, &ConverterDialog::finishConversion);
    worker_->start();
}

void ConverterDialog::showProgress(double fraction, ConversionStage stage,
                                   std::chrono::milliseconds elapsed) {
    const ProgressView view = progressView(fraction, stage, elapsed);
    const QString text = QString::fromStdString(view.text);
    progress_->setFormat(text);
    progress_->setValue(view.permille);
    if (progress_->accessibleDescription() != text) {
        progress_->setAccessibleDescription(text);
        QAccessibleEvent changed(progress_, QAccessible::DescriptionChanged);
        QAccessible::updateAccessibility(&changed);
    }
}

void ConverterDialog::showConversionPreview(double fraction, ConversionStage stage,
                                            std::chrono::milliseconds elapsed) {
    lockForConversion();
    showProgress(fraction, stage, elapsed);
}

void ConverterDialog::finishConversion() {
    worker_->wait();
    if (outcome_.kind == OutcomeKind::Cancelled) {
        // Stopped on request: nothing was written, and there is nothing to tell.
        QApplication::restoreOverrideCursor();
        delete worker_;
        worker_ = nullptr;
        QDialog::reject();
        return;
    }
    if (!outcome_.failed()) {  // a failed run's bar stays where it stopped
        showProgress(1.0, ConversionStage::Saving, std::chrono::milliseconds(runTime_.elapsed()));
    }
    QApplication::restoreOverrideCursor();
    const OutcomeMessage message = outcomeMessage(settings_, outcome_);
    presenter_->show(QString::fromStdString(message.text), QString::fromStdString(message.caption),
                     message.icon, QString::fromStdString(message.detail));
    delete worker_;
    worker_ = nullptr;
    accept();
}

void ConverterDialog::reject() {
    if (worker_ == nullptr) {
        QDialog::reject();
        return;
    }
    stopConversion();
}

void ConverterDialog::stopConversion() {
    stopping_ = true;
    stop_.request();
    progress_->setFormat(QStringLiteral("Stopping..."));
}

void ConverterDialog::closeEvent(QCloseEvent* event) {
    if (worker_ != nullptr) {
        // Closing the window abandons the conversion: ask first; the window closes once the run
        // has stopped.
        event->ignore();
        if (!stopping_ &&
            presenter_->confirm(QStringLiteral("A conversion is running. Stop it and close?"),
                                QStringLiteral("Zelvio Converter"))) {
            stopConversion();
        }
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
