// The converter dialog, driven as a user would: the message boxes and file dialogs are replaced
// by recorders, the conversion itself is the real job.
#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "app/about_dialog.h"
#include "app/converter_dialog.h"
#include "app/dialog_units.h"
#include "support/wave_builder.h"
#include "wave/input_formats.h"
#include "zelvio/version.h"

using namespace zelvio;
using namespace zelvio::control_id;

namespace {

struct Message {
    QString text;
    QString caption;
    OutcomeIcon icon;
    QString detail;
};

class RecordingPresenter : public MessagePresenter {
  public:
    void show(const QString& text, const QString& caption, OutcomeIcon icon,
              const QString& detail) override {
        messages.push_back({text, caption, icon, detail});
    }
    bool confirm(const QString& question, const QString&) override {
        questions.push_back(question);
        return confirmAnswer;
    }
    std::vector<Message> messages;
    QStringList questions;
    bool confirmAnswer = true;
};

// Answers each question with the next prepared answer (none left stands for Cancel).
class ScriptedChooser : public FileChooser {
  public:
    QString openFileName(QWidget*, const QList<FileFilter>& filters) override {
        openFiltersAsked.push_back(filters);
        return filters.isEmpty() ? QString() : answer(filters.front());
    }
    QString saveFileName(QWidget*, const FileFilter& filter) override { return answer(filter); }

    QStringList answers;
    std::vector<FileFilter> filtersAsked;             ///< the first filter of every question
    std::vector<QList<FileFilter>> openFiltersAsked;  ///< every filter of every open question

  private:
    QString answer(const FileFilter& filter) {
        filtersAsked.push_back(filter);
        return answers.isEmpty() ? QString() : answers.takeFirst();
    }
};

QString vector(const char* name) {
    return QStringLiteral(ZELVIO_TEST_DATA "/vectors/") + QString::fromLatin1(name);
}

std::vector<char> fileBytes(const QString& path) {
    std::ifstream in(pathFromText(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A control's text as shown: without the ampersand that marks its mnemonic.
QString shown(const QString& text) {
    return QString::fromStdString(withoutMnemonic(text.toStdString()));
}

// What zelvio convert prints on standard output for arguments, without the line's end.
QString cliSummary(const QStringList& arguments) {
    QProcess cli;
    cli.start(QStringLiteral(ZELVIO_CLI), QStringList(QStringLiteral("convert")) + arguments);
    if (!cli.waitForFinished(120000)) {
        return QStringLiteral("(zelvio did not finish)");
    }
    return QString::fromUtf8(cli.readAllStandardOutput()).trimmed();
}

// Runs check on the next modal window that opens (an about box, a file dialog), then closes it.
void onNextModal(std::function<void(QWidget*)> check) {
    QTimer::singleShot(0, [check = std::move(check)] {
        QWidget* modal = QApplication::activeModalWidget();
        QVERIFY(modal != nullptr);
        check(modal);
    });
}

// Accepts the next file dialog with path selected; returns what the platform save dialog gave.
QString saveThroughPlatformDialog(const QString& path, QStringList* filters = nullptr) {
    onNextModal([=](QWidget* modal) {
        auto* fileDialog = qobject_cast<QFileDialog*>(modal);
        QVERIFY(fileDialog != nullptr);
        if (filters != nullptr) {
            *filters = fileDialog->nameFilters();
        }
        fileDialog->selectFile(path);
        static_cast<QDialog*>(fileDialog)->accept();  // QFileDialog hides its override
    });
    PlatformFileChooser platform;
    return platform.saveFileName(nullptr, {QStringLiteral("Palm database files"), "*.pdb"});
}

}  // namespace

class ConverterDialogTest : public QObject {
    Q_OBJECT

  private:
    QLineEdit* edit(ConverterDialog& dialog, int id) {
        return qobject_cast<QLineEdit*>(dialog.control(id));
    }
    QAbstractButton* button(ConverterDialog& dialog, int id) {
        return qobject_cast<QAbstractButton*>(dialog.control(id));
    }
    void click(ConverterDialog& dialog, int id) {
        QTest::mouseClick(button(dialog, id), Qt::LeftButton);
    }
    void waitForOutcome(ConverterDialog& dialog) {
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.isConverting(), 120000);
        QCOMPARE(presenter_.messages.size(), size_t{1});
    }
    // Fills the dialog for a conversion of the first corpus file at 4 bits with detection.
    void fillForCorpusFile(ConverterDialog& dialog, const QString& output) {
        edit(dialog, kInputPath)->setText(vector("sm_22050_s16.wav"));
        edit(dialog, kDatabasePath)->setText(output);
        edit(dialog, kTitle)->setText(QStringLiteral("T sm_22050_s16"));
        edit(dialog, kDescription)
            ->setText(QStringLiteral("Corpus file sm_22050_s16.wav at 4 bits with VAD"));
        button(dialog, kFourBits)->setChecked(true);
        button(dialog, kVoiceActivity)->setChecked(true);
    }

    RecordingPresenter presenter_;
    ScriptedChooser chooser_;
    std::unique_ptr<QTemporaryDir> folder_;

  private slots:
    void init() {
        presenter_.messages.clear();
        chooser_.answers.clear();
        chooser_.filtersAsked.clear();
        chooser_.openFiltersAsked.clear();
        folder_ = std::make_unique<QTemporaryDir>();
        QVERIFY(folder_->isValid());
    }

    void dialogUnitsScaleByTheBaseUnits() {
        const struct {
            int baseWidth, baseHeight;
            QRect dialogUnits, pixels;
        } cases[] = {
            {4, 8, {112, 15, 164, 14}, {112, 15, 164, 14}},  // one to one
            // 371 * 7 / 4 = 649.25 and 268 * 15 / 8 = 502.5, rounded to 649 and 503.
            {7, 15, {0, 0, 371, 268}, {0, 0, 649, 503}},
            // The OK button: edges 100 -> 150, 150 -> 225; 234 -> 380.25 (380), 248 -> 403.
            {6, 13, {100, 234, 50, 14}, {150, 380, 75, 23}},
            // Adjacent controls still meet: 1 * 6 / 4 = 1.5 rounds to 2, 2 * 6 / 4 = 3.
            {6, 13, {1, 1, 1, 1}, {2, 2, 1, 1}},
        };
        for (const auto& c : cases) {
            const QRect& du = c.dialogUnits;
            QCOMPARE(DialogUnits(c.baseWidth, c.baseHeight)
                         .toPixels(du.x(), du.y(), du.width(), du.height()),
                     c.pixels);
        }
    }

    void dialogOpensWithItsControlsInPlaceEmptyFieldsEightBitsAndDetectionOff() {
        ConverterDialog dialog(presenter_, chooser_);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Zelvio Converter"));
        QVERIFY(!dialog.windowIcon().isNull());
        for (int id : {kInputPath, kDatabasePath, kTitle, kDescription}) {
            QVERIFY2(edit(dialog, id) != nullptr, qPrintable(QString::number(id)));
            QVERIFY(edit(dialog, id)->text().isEmpty());
        }
        QStringList texts;
        for (int id : {1, 2, 1001, 1005, 1006, 1008, 1009, 1010, 1011}) {
            QAbstractButton* control = button(dialog, id);
            QVERIFY2(control != nullptr, qPrintable(QString::number(id)));
            texts << shown(control->text());
            QCOMPARE(control->isChecked(), id == kEightBits);
        }
        QCOMPARE(texts.join('|'), QStringLiteral("OK|Cancel|Browse|Browse|Voice Activity Detection|"
                                                 "8 bit per sample (no compression)|4 bit per "
                                                 "sample|3 bit per sample|2 bit per sample"));
        QCOMPARE(dialog.settings().bitsPerSample, 8);

        QStringList labels;
        for (QLabel* label : dialog.findChildren<QLabel*>()) {
            labels << shown(label->text());
        }
        labels.sort();
        QCOMPARE(labels, QStringList({"Audio Database Title", "Audio Description",
                                      "Database file name", "Input WAV file name"}));
        const auto boxes = dialog.findChildren<QGroupBox*>();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(shown(boxes.front()->title()), QStringLiteral("Compression Mode"));

        const DialogUnits units = DialogUnits::fromFont(dialog.font());
        QCOMPARE(dialog.size(), units.toPixels(371, 268));
        QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
        QCOMPARE(dialog.control(kDescription)->geometry(), units.toPixels(112, 87, 225, 14));
        QCOMPARE(dialog.control(kOk)->geometry(), units.toPixels(100, 234, 50, 14));
        // Top to bottom: input row, database row, title, description, modes, check boxes, OK.
        const int order[] = {kInputPath, kDatabasePath,  kTitle, kDescription, kEightBits,
                             kTwoBits,   kVoiceActivity, kSplit, kOk};
        for (size_t i = 1; i < std::size(order); ++i) {
            QVERIFY2(dialog.control(order[i - 1])->y() < dialog.control(order[i])->y(),
                     qPrintable(QString::number(order[i])));
        }
    }

    // Tab goes top to bottom as the controls appear, through the checked radio button only.
    void keyboardAloneReachesEveryControlAndEnterInAnEditConverts() {
        ConverterDialog dialog(presenter_, chooser_);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QCOMPARE(QApplication::focusWidget(), dialog.control(kOk));
        QVERIFY(static_cast<QPushButton*>(dialog.control(kOk))->isDefault());
        const auto tabThrough = [&](std::initializer_list<int> ids, bool backwards = false) {
            for (int id : ids) {
                QTest::keyClick(QApplication::focusWidget(),
                                backwards ? Qt::Key_Backtab : Qt::Key_Tab,
                                backwards ? Qt::ShiftModifier : Qt::NoModifier);
                QCOMPARE(QApplication::focusWidget()->property("controlId").toInt(), id);
            }
        };
        tabThrough({kCancel, kInputPath, kBrowseInput, kDatabasePath, kBrowseDatabase, kTitle,
                    kDescription, kEightBits, kVoiceActivity, kSplit, kOk});
        tabThrough({kSplit, kVoiceActivity, kEightBits, kDescription, kTitle, kBrowseDatabase,
                    kDatabasePath, kBrowseInput, kInputPath, kCancel},
                   true);
        // Within the group the arrow keys move and check; Tab then stops at the new choice.
        dialog.control(kEightBits)->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        QCOMPARE(QApplication::focusWidget(), dialog.control(kFourBits));
        QVERIFY(button(dialog, kFourBits)->isChecked());
        QVERIFY(!button(dialog, kEightBits)->isChecked());
        // "Best quality (slower)" takes the focus once an ADPCM mode is checked.
        dialog.control(kDescription)->setFocus();
        tabThrough({kFourBits, kBestQuality, kVoiceActivity});
        // The arrows still lead from the check box into the group.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
        QCOMPARE(QApplication::focusWidget(), dialog.control(kFourBits));

        QLineEdit* title = edit(dialog, kTitle);
        title->setFocus();
        QTest::keyClicks(title, QStringLiteral("Memo"));
        QTest::keyClick(title, Qt::Key_Return);
        waitForOutcome(dialog);
        QCOMPARE(dialog.settings().title, std::string("Memo"));
        QCOMPARE(dialog.settings().bitsPerSample, 4);
        QVERIFY(!dialog.settings().split);  // off unless checked
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }

    // Alt with a label's letter reaches its edit, with a button's letter presses it; no two
    // controls share a letter.
    void everyLabelHasAMnemonicOfItsOwnThatReachesItsControl() {
        ConverterDialog dialog(presenter_, chooser_);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QStringList texts;
        for (QLabel* label : dialog.findChildren<QLabel*>()) {
            texts << label->text();
        }
        for (QAbstractButton* control : dialog.findChildren<QAbstractButton*>()) {
            if (control != button(dialog, kOk) && control != button(dialog, kCancel)) {
                texts << control->text();
            }
        }
        texts << dialog.findChild<QGroupBox*>()->title();
        QCOMPARE(texts.size(), 4 + 9 + 1);
        QSet<QKeySequence> letters;
        for (const QString& text : texts) {
            const QKeySequence letter = QKeySequence::mnemonic(text);
            QVERIFY2(!letter.isEmpty(), qPrintable(text));
            QVERIFY2(!letters.contains(letter), qPrintable(text));
            letters.insert(letter);
        }

        const struct {
            Qt::Key key;
            int focused;     // the control with the focus afterwards
            size_t browsed;  // file dialogs asked for so far
        } cases[] = {
            {Qt::Key_I, kInputPath, 0},     {Qt::Key_D, kDatabasePath, 0},
            {Qt::Key_T, kTitle, 0},         {Qt::Key_S, kDescription, 0},
            {Qt::Key_C, kEightBits, 0},  // the group box leads to the checked radio button
            {Qt::Key_3, kThreeBits, 0},     {Qt::Key_C, kThreeBits, 0},
            {Qt::Key_Q, kBestQuality, 0},   {Qt::Key_V, kVoiceActivity, 0},
            {Qt::Key_B, kVoiceActivity, 1},  // a push button is pressed, the focus stays
            {Qt::Key_R, kVoiceActivity, 2},
        };
        for (const auto& c : cases) {
            QTest::keyClick(&dialog, c.key, Qt::AltModifier);
            QTRY_COMPARE(chooser_.filtersAsked.size(), c.browsed);
            QTRY_COMPARE(QApplication::focusWidget()->property("controlId").toInt(), c.focused);
        }
        QVERIFY(button(dialog, kThreeBits)->isChecked());
        QVERIFY(button(dialog, kBestQuality)->isChecked());
        QVERIFY(button(dialog, kVoiceActivity)->isChecked());
        QVERIFY(chooser_.filtersAsked[0].pattern.startsWith(QStringLiteral("*.wav")));
        QCOMPARE(chooser_.filtersAsked[1].pattern, QStringLiteral("*.pdb"));
    }

    // Through Qt's accessibility interfaces, as a screen reader sees the dialog.
    void everyControlHasAnAccessibleNameAndDescription() {
        ConverterDialog dialog(presenter_, chooser_);
        dialog.show();
        for (const AccessibleText& text : kAccessibleTexts) {
            QAccessibleInterface* control =
                QAccessible::queryAccessibleInterface(dialog.control(text.id));
            QVERIFY2(control != nullptr, qPrintable(QString::number(text.id)));
            QCOMPARE(control->text(QAccessible::Name), QString::fromUtf8(text.name));
            QCOMPARE(control->text(QAccessible::Description), QString::fromUtf8(text.description));
        }
        // Every control in the window's tree that takes the focus has a name of its own.
        QAccessibleInterface* window = QAccessible::queryAccessibleInterface(&dialog);
        QVERIFY(window != nullptr);
        QSet<QString> names;
        int focusable = 0;
        for (int i = 0; i < window->childCount(); ++i) {
            QAccessibleInterface* child = window->child(i);
            if (!child->state().focusable) {
                continue;
            }
            ++focusable;
            const QString name = child->text(QAccessible::Name);
            QVERIFY2(!name.isEmpty() && !names.contains(name), qPrintable(name));
            QVERIFY2(!child->text(QAccessible::Description).isEmpty(), qPrintable(name));
            names.insert(name);
        }
        QCOMPARE(focusable, 15);
        // Labels are read without their mnemonic marker.
        for (QLabel* label : dialog.findChildren<QLabel*>()) {
            QCOMPARE(QAccessible::queryAccessibleInterface(label)->text(QAccessible::Name),
                     shown(label->text()));
        }
    }

    void progressShowsTheStagePercentageAndTimeLeft() {
        ConverterDialog dialog(presenter_, chooser_);
        dialog.show();
        auto* bar = dialog.findChild<QProgressBar*>();
        dialog.showConversionPreview(0.45, ConversionStage::Converting, std::chrono::seconds(20));
        QVERIFY(bar->isVisible());
        // Every control is locked but Cancel, which stops the conversion.
        for (const AccessibleText& text : kAccessibleTexts) {
            QVERIFY2(dialog.control(text.id)->isEnabled() == (text.id == kCancel), text.name);
        }
        QCOMPARE(bar->value(), 450);
        QCOMPARE(bar->text(), QStringLiteral("Converting: 45%, about 25 s left"));
        QCOMPARE(QAccessible::queryAccessibleInterface(bar)->text(QAccessible::Description),
                 bar->text());
        dialog.showProgress(0.98, ConversionStage::Saving, std::chrono::seconds(1));
        QCOMPARE(bar->text(), QStringLiteral("Saving: 98%"));

        // A real run goes through the stages in their order and ends at 100%.
        ConverterDialog running(presenter_, chooser_);
        running.show();
        fillForCorpusFile(running, folder_->filePath(QStringLiteral("staged.pdb")));
        auto* runningBar = running.findChild<QProgressBar*>();
        QStringList stages;
        connect(runningBar, &QProgressBar::valueChanged, this, [&] {
            const QString stage = runningBar->text().section(QLatin1Char(':'), 0, 0);
            if (stages.isEmpty() || stages.back() != stage) {
                stages << stage;
            }
        });
        click(running, kOk);
        waitForOutcome(running);
        QCOMPARE(stages.join(QLatin1Char(' ')), QStringLiteral("Reading Converting Saving"));
        QCOMPARE(runningBar->text(), QStringLiteral("Saving: 100%"));
    }

    // 21 min 20 s at 1000 Hz: at 8 bits the database holds 21:05 of it.
    void aCutDatabaseSaysHowMuchWasKeptAsZelvioConvertDoes() {
        std::vector<std::int16_t> samples(1280 * 1000);
        for (std::size_t i = 0; i < samples.size(); ++i) {
            samples[i] = static_cast<std::int16_t>(static_cast<int>(i * 37 % 2000) - 1000);
        }
        const QString input = folder_->filePath(QStringLiteral("long.wav"));
        test_support::writeFile(
            pathFromText(input),
            test_support::canonicalWave({.sampleRate = 1000}, test_support::pcm16Bytes(samples)));
        const QString output = folder_->filePath(QStringLiteral("long.pdb"));
        ConverterDialog dialog(presenter_, chooser_);
        edit(dialog, kInputPath)->setText(input);
        QCOMPARE(edit(dialog, kDatabasePath)->text(), output);  // suggested
        edit(dialog, kTitle)->setText(QStringLiteral("Long"));
        click(dialog, kOk);
        waitForOutcome(dialog);
        const Message& message = presenter_.messages.front();
        QCOMPARE(message.text, QStringLiteral("The audio database is full: only the first 21:05 "
                                              "of 21:20 of audio were saved."));
        QCOMPARE(message.caption, QStringLiteral("Audio Database Saved"));
        QCOMPARE(message.icon, OutcomeIcon::Warning);
        QVERIFY2(
            message.detail.contains(QStringLiteral("63,282 of 64,000 Frames (21:05 of 21:20)")),
            qPrintable(message.detail));
        QCOMPARE(message.detail, cliSummary({input, "-o", output, "--title", "Long", "--force"}));
    }

    // With the split box checked the same recording goes on in a second database; the message
    // names both and the detail is zelvio convert --split's lines.
    void aSplitRecordingNamesItsDatabasesAsZelvioConvertDoes() {
        std::vector<std::int16_t> samples(1280 * 1000);
        for (std::size_t i = 0; i < samples.size(); ++i) {
            samples[i] = static_cast<std::int16_t>(static_cast<int>(i * 37 % 2000) - 1000);
        }
        const QString input = folder_->filePath(QStringLiteral("lecture.wav"));
        test_support::writeFile(
            pathFromText(input),
            test_support::canonicalWave({.sampleRate = 1000}, test_support::pcm16Bytes(samples)));
        const QString output = folder_->filePath(QStringLiteral("lecture.pdb"));
        ConverterDialog dialog(presenter_, chooser_);
        edit(dialog, kInputPath)->setText(input);
        edit(dialog, kTitle)->setText(QStringLiteral("Lecture"));
        QVERIFY(!button(dialog, kSplit)->isChecked());  // off by default
        button(dialog, kSplit)->setChecked(true);
        click(dialog, kOk);
        waitForOutcome(dialog);
        const Message& message = presenter_.messages.front();
        QCOMPARE(message.text,
                 QStringLiteral("Conversion completed successfully, the audio was split over 2 "
                                "audio database files: \"lecture-1.pdb\", \"lecture-2.pdb\"."));
        QCOMPARE(message.icon, OutcomeIcon::Information);
        QVERIFY(!QFileInfo::exists(output));
        QCOMPARE(message.detail,
                 cliSummary({input, "-o", output, "--title", "Lecture", "--split", "--force"}));
        QCOMPARE(message.detail.count(QLatin1Char('\n')), 1);
    }

    void databaseNameFollowsTheInputUntilTheUserNamesOne() {
        ConverterDialog dialog(presenter_, chooser_);
        QLineEdit* input = edit(dialog, kInputPath);
        QLineEdit* database = edit(dialog, kDatabasePath);
        QTest::keyClicks(input, QStringLiteral("rec/talk.wav"));
        QCOMPARE(database->text(), QStringLiteral("rec/talk.pdb"));
        chooser_.answers = {QStringLiteral("/chosen/Größe – 録音.wav")};
        click(dialog, kBrowseInput);
        QCOMPARE(database->text(), QStringLiteral("/chosen/Größe – 録音.pdb"));
        database->setText(QStringLiteral("/mine/keep.pdb"));
        input->setText(QStringLiteral("/other/memo.wav"));
        QCOMPARE(database->text(), QStringLiteral("/mine/keep.pdb"));
        database->clear();
        input->setText(QStringLiteral("/other/again.wav"));
        QCOMPARE(database->text(), QStringLiteral("/other/again.pdb"));

        ConverterDialog given(presenter_, chooser_);
        given.fillPaths(QStringLiteral("in.wav"), QStringLiteral("out"));
        QCOMPARE(edit(given, kInputPath)->text(), QStringLiteral("in.wav"));
        QCOMPARE(edit(given, kDatabasePath)->text(), QStringLiteral("out"));
        QCOMPARE(given.settings().databasePath, std::filesystem::path("out"));
    }

    void rememberedChoicesSetTheModeAndWhereBrowseOpens() {
        ConverterDialog dialog(presenter_, chooser_);
        dialog.setRememberedChoices({"/rem/in", "/rem/db", 3});
        QVERIFY(button(dialog, kThreeBits)->isChecked());
        QCOMPARE(dialog.control(kThreeBits)->focusPolicy(), Qt::StrongFocus);  // the Tab stop
        QCOMPARE(dialog.control(kEightBits)->focusPolicy(), Qt::ClickFocus);
        const auto openedIn = [&](int browse) {
            click(dialog, browse);
            return chooser_.startFolder();
        };
        QCOMPARE(openedIn(kBrowseInput), QStringLiteral("/rem/in"));
        QCOMPARE(openedIn(kBrowseDatabase), QStringLiteral("/rem/db"));
        edit(dialog, kInputPath)->setText(QStringLiteral("/rec/talk.wav"));
        QCOMPARE(openedIn(kBrowseInput), QStringLiteral("/rec"));
        QCOMPARE(openedIn(kBrowseDatabase), QStringLiteral("/rec"));  // the suggested name's
        edit(dialog, kDatabasePath)->clear();
        QCOMPARE(openedIn(kBrowseDatabase), QStringLiteral("/rem/db"));

        edit(dialog, kDatabasePath)->setText(QStringLiteral("/db/talk.pdb"));
        button(dialog, kTwoBits)->setChecked(true);
        QCOMPARE(dialog.choicesToRemember(), (RememberedChoices{"/rec", "/db", 2}));
        // Nothing remembered and nothing typed: the platform chooses.
        ConverterDialog fresh(presenter_, chooser_);
        for (int browse : {kBrowseInput, kBrowseDatabase}) {
            chooser_.setStartFolder(QStringLiteral("/stale"));
            click(fresh, browse);
            QCOMPARE(chooser_.startFolder(), QString());
        }
    }

    void checkedRadioButtonGivesTheBitsPerSample() {
        const std::pair<int, int> cases[] = {
            {kEightBits, 8}, {kFourBits, 4}, {kThreeBits, 3}, {kTwoBits, 2}, {0, 2}};
        for (const auto& [checkedId, bits] : cases) {
            presenter_.messages.clear();
            ConverterDialog dialog(presenter_, chooser_);
            for (int id : {kEightBits, kFourBits, kThreeBits, kTwoBits}) {
                QAbstractButton* radio = button(dialog, id);
                radio->setAutoExclusive(false);  // lets every button be cleared
                radio->setChecked(id == checkedId);
                radio->setAutoExclusive(true);
            }
            click(dialog, kOk);
            waitForOutcome(dialog);
            QCOMPARE(dialog.settings().bitsPerSample, bits);
        }
    }

    void browseFillsTheEditCancelledBrowseKeepsItAndTypedTextBeatsIt() {
        ConverterDialog dialog(presenter_, chooser_);
        chooser_.answers = {QStringLiteral("/chosen/talk.wav"), QStringLiteral("/chosen/out")};
        click(dialog, kBrowseInput);
        click(dialog, kBrowseDatabase);
        QCOMPARE(dialog.settings().inputPath, std::filesystem::path("/chosen/talk.wav"));
        // A name chosen without an extension stays without one.
        QCOMPARE(dialog.settings().databasePath, std::filesystem::path("/chosen/out"));
        QCOMPARE(chooser_.filtersAsked.size(), size_t{2});
        QCOMPARE(chooser_.filtersAsked[0].description, QStringLiteral("Audio files"));
        QVERIFY(chooser_.filtersAsked[0].pattern.startsWith(QStringLiteral("*.wav")));
        QCOMPARE(chooser_.openFiltersAsked.size(), size_t{1});
        QCOMPARE(chooser_.openFiltersAsked[0].size(), 2);
        QCOMPARE(chooser_.openFiltersAsked[0][1].description, QStringLiteral("All files"));
        QCOMPARE(chooser_.openFiltersAsked[0][1].pattern, QStringLiteral("*"));
        QCOMPARE(chooser_.filtersAsked[1].description, QStringLiteral("Palm database files"));
        QCOMPARE(chooser_.filtersAsked[1].pattern, QStringLiteral("*.pdb"));

        click(dialog, kBrowseInput);  // no answers left: cancelled
        click(dialog, kBrowseDatabase);
        QCOMPARE(edit(dialog, kInputPath)->text(), QStringLiteral("/chosen/talk.wav"));
        QCOMPARE(edit(dialog, kDatabasePath)->text(), QStringLiteral("/chosen/out"));

        QLineEdit* input = edit(dialog, kInputPath);
        input->clear();
        QTest::keyClicks(input, QStringLiteral("/typed/memo.wav"));
        click(dialog, kOk);
        waitForOutcome(dialog);
        QCOMPARE(dialog.settings().inputPath, std::filesystem::path("/typed/memo.wav"));
    }

    void saveDialogOffersOneFilterAddsNoExtensionAndAsksBeforeOverwriting() {
        const QString typed = folder_->filePath(QStringLiteral("out"));
        QStringList filters;
        QCOMPARE(saveThroughPlatformDialog(typed, &filters), typed);
        QCOMPARE(filters, QStringList(QStringLiteral("Palm database files (*.pdb)")));

        const QString existing = folder_->filePath(QStringLiteral("old.pdb"));
        QFile file(existing);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QString question;
        onNextModal([&](QWidget*) {  // the file dialog: the question comes once it accepts
            onNextModal([&](QWidget* box) {
                auto* messageBox = qobject_cast<QMessageBox*>(box);
                QVERIFY(messageBox != nullptr);
                question = messageBox->text();
                messageBox->button(QMessageBox::Yes)->click();
            });
        });
        QCOMPARE(saveThroughPlatformDialog(existing), existing);
        QVERIFY2(question.contains(QStringLiteral("old.pdb")), qPrintable(question));
    }

    // The open dialog lists every pattern this build reads (the list convert --help and the
    // README give), the common ones among them when both readers are built, then all files.
    void openDialogOffersTheAudioFilesThisBuildReadsThenAllFiles() {
        const QString patterns = QString::fromStdString(inputFilePatterns());
        QVERIFY(patterns.startsWith(QStringLiteral("*.wav")));
        const InputReaders readers = inputReaders();
        if (readers.libsndfile && readers.ffmpeg) {
            for (const char* pattern :
                 {"*.flac", "*.ogg", "*.opus", "*.mp3", "*.aif", "*.aiff", "*.m4a", "*.wma"}) {
                QVERIFY2(patterns.split(' ').contains(QString::fromLatin1(pattern)), pattern);
            }
        }
        QStringList filters;
        onNextModal([&](QWidget* modal) {
            auto* fileDialog = qobject_cast<QFileDialog*>(modal);
            QVERIFY(fileDialog != nullptr);
            filters = fileDialog->nameFilters();
            fileDialog->reject();
        });
        PlatformFileChooser platform;
        QCOMPARE(platform.openFileName(nullptr, inputFileFilters()), QString());
        QCOMPARE(filters, QStringList({QStringLiteral("Audio files (") + patterns + ")",
                                       QStringLiteral("All files (*)")}));
    }

    // A file dragged onto the dialog, or onto any of its edits, fills the database field when its
    // name ends in .pdb and the input field otherwise; text dragged onto an edit stays text.
    void aDroppedFileFillsTheInputFieldOrADatabaseTheDatabaseField() {
        ConverterDialog dialog(presenter_, chooser_);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const struct {
            QString file;
            int target;  // the control a drop is sent to (0: the dialog itself)
            int filled;  // the edit it fills
        } cases[] = {
            {"/drops/talk.mp3", 0, kInputPath},
            {"/drops/memo.pdb", 0, kDatabasePath},
            {"/drops/MEMO.PDB", kTitle, kDatabasePath},
            {"/drops/voice memo.m4a", kDatabasePath, kInputPath},
            {"/drops/notes.wav", kInputPath, kInputPath},
        };
        for (const auto& c : cases) {
            QMimeData data;
            data.setUrls({QUrl::fromLocalFile(c.file)});
            QWidget* target =
                c.target == 0 ? static_cast<QWidget*>(&dialog) : dialog.control(c.target);
            const QPoint at(target->width() / 2, target->height() / 2);
            QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(target, &enter);
            QVERIFY2(enter.isAccepted(), qPrintable(c.file));
            QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(target, &drop);
            QVERIFY2(drop.isAccepted(), qPrintable(c.file));
            QCOMPARE(edit(dialog, c.filled)->text(), c.file);
        }
        QCOMPARE(dialog.settings().inputPath, std::filesystem::path("/drops/notes.wav"));
        QCOMPARE(dialog.settings().databasePath, std::filesystem::path("/drops/MEMO.PDB"));
        QCOMPARE(edit(dialog, kTitle)->text(), QString());

        // Text is no file: the dialog leaves it to the edit.
        QMimeData text;
        text.setText(QStringLiteral("Memo"));
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
        QVERIFY(!static_cast<QObject&>(dialog).eventFilter(dialog.control(kTitle), &enter));
        QVERIFY(!dialog.dropFile(QString()));
    }

    void cancelButtonEscapeAndCloseBoxConvertNothing() {
        for (int way = 0; way < 3; ++way) {
            ConverterDialog dialog(presenter_, chooser_);
            dialog.show();
            QVERIFY(QTest::qWaitForWindowActive(&dialog));
            const QString output = folder_->filePath(QStringLiteral("cancelled.pdb"));
            fillForCorpusFile(dialog, output);
            if (way == 0) {
                click(dialog, kCancel);
            } else if (way == 1) {
                QTest::keyClick(&dialog, Qt::Key_Escape);
            } else {
                dialog.close();
            }
            QCOMPARE(dialog.result(), int(QDialog::Rejected));
            QVERIFY(!dialog.isVisible());
            QVERIFY(!dialog.isConverting());
            QTest::qWait(50);
            QVERIFY(presenter_.messages.empty());
            QVERIFY(!QFile::exists(output));
        }
    }

    void aboutCommandOpensTheAboutBoxWhateverItsLowBits() {
        ConverterDialog dialog(presenter_, chooser_);
        dialog.show();
        edit(dialog, kTitle)->setText(QStringLiteral("unchanged"));
        const std::pair<int, bool> cases[] = {{16, true},  {17, true}, {31, true},
                                              {32, false}, {0, false}, {0xF060 /* close */, false}};
        for (const auto& [command, opens] : cases) {
            QString caption;
            if (opens) {
                onNextModal([&](QWidget* modal) {
                    caption = modal->windowTitle();
                    static_cast<QDialog*>(modal)->accept();
                });
            }
            QCOMPARE(dialog.systemCommand(command), opens);
            QCOMPARE(caption, opens ? QStringLiteral("About Zelvio Converter") : QString());
            QVERIFY(dialog.isVisible());
            QCOMPARE(edit(dialog, kTitle)->text(), QStringLiteral("unchanged"));
        }
    }

    void aboutEntryOnTheContextMenuAndF1OpensTheAboutBoxWithNameVersionAndIcon() {
        ConverterDialog dialog(presenter_, chooser_);
        QCOMPARE(dialog.contextMenuPolicy(), Qt::ActionsContextMenu);
        const auto actions = dialog.actions();
        QCOMPARE(actions.size(), 1);
        QCOMPARE(actions.front()->text(), QStringLiteral("&About Zelvio Converter..."));
        QCOMPARE(actions.front()->shortcut(), QKeySequence(Qt::Key_F1));
        QStringList texts;
        int pictures = 0;
        bool accepted = false;
        onNextModal([&](QWidget* about) {
            QCOMPARE(about->windowTitle(), QStringLiteral("About Zelvio Converter"));
            QCOMPARE(about->size(), DialogUnits::fromFont(about->font()).toPixels(286, 148));
            for (QLabel* label : about->findChildren<QLabel*>()) {
                label->pixmap().isNull() ? void(texts << label->text()) : void(++pictures);
                // Each text fits its place (the version line carries the build's commit).
                QVERIFY2(label->sizeHint().width() <= label->width(), qPrintable(label->text()));
            }
            auto* ok = about->findChild<QPushButton*>();
            QVERIFY(ok->isDefault());
            QTest::mouseClick(ok, Qt::LeftButton);
            accepted = static_cast<QDialog*>(about)->result() == QDialog::Accepted;
        });
        actions.front()->trigger();
        QVERIFY(accepted);
        QCOMPARE(pictures, 1);
        QCOMPARE(texts.size(), 6);
        QVERIFY(texts.contains(QStringLiteral("Zelvio Database Converter")));
        QVERIFY(texts.contains(QStringLiteral("Version 1.0")));
        QVERIFY(texts.contains(QStringLiteral("Build 1.0.0.1")));
        if (*kGitRevision != '\0') {
            QVERIFY2(texts.filter(QString::fromLatin1(kGitRevision)).size() == 1,
                     qPrintable(texts.join('|')));
        }
    }

    void eachFailureShowsItsTextCaptionAndIcon() {
        const QString wav = vector("sm_22050_s16.wav");
        const struct {
            QString input;
            const char* output;
            const char* text;
        } cases[] = {
            {"/no/such/input.wav", "out.pdb", "Cannot open input WAVE file!"},
            {wav, "missing/out.pdb", "FILE IO error when creating database file!"},
        };
        for (const auto& c : cases) {
            presenter_.messages.clear();
            ConverterDialog dialog(presenter_, chooser_);
            const QString outputPath = folder_->filePath(QString::fromUtf8(c.output));
            edit(dialog, kInputPath)->setText(c.input);
            edit(dialog, kDatabasePath)->setText(outputPath);
            click(dialog, kOk);
            QTRY_VERIFY_WITH_TIMEOUT(!dialog.isConverting(), 120000);
            QCOMPARE(presenter_.messages.size(), size_t{1});
            const Message& message = presenter_.messages.front();
            QCOMPARE(message.text, QString::fromUtf8(c.text));
            QCOMPARE(message.caption, QStringLiteral("Error"));
            QCOMPARE(message.icon, OutcomeIcon::Stop);
            QVERIFY(!message.detail.isEmpty());  // what went wrong, beneath the converter's text
            QVERIFY(!QFile::exists(outputPath));
            // The bar stays where the run stopped: nothing was saved.
            QCOMPARE(dialog.findChild<QProgressBar*>()->text(), QStringLiteral("Reading: 0%"));
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
        }
    }

    // The window stays alive but locked while the job runs; the file is the CLI's, byte for byte.
    void conversionThroughTheDialogLocksItThenGivesTheReferenceDatabase() {
        ConverterDialog dialog(presenter_, chooser_);
        dialog.show();
        const QString output = folder_->filePath(QStringLiteral("sm_22050_s16.b4.vad.pdb"));
        fillForCorpusFile(dialog, output);
        click(dialog, kOk);
        QVERIFY(dialog.isConverting());
        for (int id : {kOk, kInputPath, kEightBits}) {
            QVERIFY(!dialog.control(id)->isEnabled());
        }
        QVERIFY(dialog.findChild<QProgressBar*>()->isVisible());
        QVERIFY(QApplication::overrideCursor() != nullptr);
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::BusyCursor);
        QVERIFY(dialog.control(kCancel)->isEnabled());  // Cancel stops a run (tested below)
        waitForOutcome(dialog);
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        QCOMPARE(dialog.findChild<QProgressBar*>()->value(), 1000);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(!dialog.isVisible());

        const Message& message = presenter_.messages.front();
        QCOMPARE(message.text,
                 QStringLiteral("Conversion completed successfully, audio database file saved."));
        QCOMPARE(message.caption, QStringLiteral("Audio Database Saved"));
        QCOMPARE(message.icon, OutcomeIcon::Information);
        const std::vector<char> reference = fileBytes(vector("sm_22050_s16.b4.vad.pdb"));
        QVERIFY(!reference.empty());
        QVERIFY(fileBytes(output) == reference);
        // The detail is what zelvio convert says about the same conversion.
        QCOMPARE(message.detail,
                 cliSummary({vector("sm_22050_s16.wav"), "-o", output, "--title", "T sm_22050_s16",
                             "--description", "Corpus file sm_22050_s16.wav at 4 bits with VAD",
                             "--bits", "4", "--vad", "--force"}));
        QVERIFY(fileBytes(output) == reference);
    }

    // "Best quality (slower)" is off at first, can be changed for the ADPCM modes only, keeps its
    // mark across 8 bits, and reaches the run: a database of the same size, other codes.
    void bestQualityIsOfferedForAdpcmAndReachesTheRun() {
        ConverterDialog dialog(presenter_, chooser_);
        dialog.show();
        QAbstractButton* best = button(dialog, kBestQuality);
        QVERIFY(!best->isChecked());
        QVERIFY(!best->isEnabled());  // 8 bits at the start
        click(dialog, kFourBits);
        QVERIFY(best->isEnabled());
        click(dialog, kBestQuality);
        QVERIFY(best->isChecked());
        click(dialog, kEightBits);
        QVERIFY(!best->isEnabled());
        QVERIFY(best->isChecked());
        click(dialog, kTwoBits);
        QVERIFY(best->isEnabled());
        QVERIFY(dialog.choicesToRemember().bestQuality);

        const QString output = folder_->filePath(QStringLiteral("best.pdb"));
        fillForCorpusFile(dialog, output);  // 4 bits with detection
        QVERIFY(best->isChecked());
        click(dialog, kOk);
        QVERIFY(!best->isEnabled());  // locked with the rest while the job runs
        waitForOutcome(dialog);
        QCOMPARE(dialog.settings().adpcmCoding, AdpcmCoding::Search);
        const std::vector<char> greedy = fileBytes(vector("sm_22050_s16.b4.vad.pdb"));
        const std::vector<char> searched = fileBytes(output);
        QCOMPARE(searched.size(), greedy.size());
        QVERIFY(searched != greedy);
        QVERIFY(presenter_.messages.front().detail.contains(QStringLiteral("(search encoder)")));
    }

    // Two hours of 48 kHz stereo as a sparse file (silence that costs no disk): long enough to
    // be stopped part-way by Cancel, Escape, or closing the window once the user agrees.
    void cancelEscapeAndClosingStopARunningConversionAndWriteNothing() {
        test_support::Bytes header =
            test_support::canonicalWave({.channels = 2, .sampleRate = 48000}, {});
        header.resize(header.size() - 4);
        constexpr std::uint32_t kDataBytes = 48000u * 4 * 7200;
        test_support::appendLe32(header, kDataBytes);
        const QString input = folder_->filePath(QStringLiteral("long.wav"));
        test_support::writeFile(pathFromText(input), header);
        std::filesystem::resize_file(pathFromText(input), header.size() + kDataBytes);
        enum class Way { Cancel, Escape, CloseRefusedThenAgreed };
        for (const Way way : {Way::Cancel, Way::Escape, Way::CloseRefusedThenAgreed}) {
            presenter_.messages.clear();
            presenter_.questions.clear();
            const QString output = folder_->filePath(QStringLiteral("long.pdb"));
            ConverterDialog dialog(presenter_, chooser_);
            dialog.show();
            edit(dialog, kInputPath)->setText(input);
            edit(dialog, kDatabasePath)->setText(output);
            click(dialog, kOk);
            QVERIFY(dialog.isConverting());
            QVERIFY(dialog.control(kCancel)->isEnabled());
            QTRY_VERIFY(dialog.findChild<QProgressBar*>()->value() > 0);
            QElapsedTimer latency;
            switch (way) {
                case Way::Cancel:
                    latency.start();
                    click(dialog, kCancel);
                    break;
                case Way::Escape:
                    latency.start();
                    QTest::keyClick(&dialog, Qt::Key_Escape);
                    break;
                case Way::CloseRefusedThenAgreed:
                    presenter_.confirmAnswer = false;
                    dialog.close();
                    QCOMPARE(presenter_.questions.size(), 1);
                    QVERIFY(dialog.isConverting());
                    QVERIFY(!dialog.isStopping());
                    presenter_.confirmAnswer = true;
                    latency.start();
                    dialog.close();
                    QCOMPARE(presenter_.questions.size(), 2);
                    break;
            }
            QVERIFY(dialog.isStopping());
            QTRY_VERIFY_WITH_TIMEOUT(!dialog.isConverting(), 10000);
            const qint64 stoppedAfter = latency.elapsed();
            qInfo("stopped %lld ms after the request", static_cast<long long>(stoppedAfter));
            QCOMPARE(dialog.result(), int(QDialog::Rejected));
            QVERIFY(!dialog.isVisible());
            QVERIFY(presenter_.messages.empty());  // nothing to tell: nothing was written
            QVERIFY(!QFile::exists(output));
            QCOMPARE(QApplication::overrideCursor(), nullptr);
            const QStringList left = QDir(folder_->path()).entryList(QDir::Files | QDir::Hidden);
            for (const QString& name : left) {
                QVERIFY2(!name.endsWith(QStringLiteral(".tmp")), qPrintable(name));
            }
        }
    }
};

QTEST_MAIN(ConverterDialogTest)
#include "converter_dialog_test.moc"
