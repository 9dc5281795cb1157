// The converter dialog, driven as a user would: the message boxes and file dialogs are replaced
// by recorders, the conversion itself is the real job.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <fstream>
#include <iterator>
#include <vector>

#include "app/about_dialog.h"
#include "app/converter_dialog.h"
#include "app/dialog_units.h"

using namespace zelvio;

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
    std::vector<Message> messages;
};

// Answers each question with the next prepared answer ("" stands for Cancel).
class ScriptedChooser : public FileChooser {
  public:
    QString openFileName(QWidget*, const FileFilter& filter) override { return answer(filter); }
    QString saveFileName(QWidget*, const FileFilter& filter) override { return answer(filter); }

    QStringList answers;
    std::vector<FileFilter> filtersAsked;

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

// Runs check on the next modal window that opens (an about box, a file dialog), then closes it.
void onNextModal(std::function<void(QWidget*)> check) {
    QTimer::singleShot(0, [check = std::move(check)] {
        QWidget* modal = QApplication::activeModalWidget();
        QVERIFY(modal != nullptr);
        check(modal);
    });
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
    void waitForOutcome(ConverterDialog& dialog) {
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.isConverting(), 120000);
        QCOMPARE(presenter_.messages.size(), size_t{1});
    }
    // Fills the dialog for a conversion of the first corpus file into the temporary folder.
    void fillForCorpusFile(ConverterDialog& dialog, const QString& output) {
        edit(dialog, control_id::kInputPath)->setText(vector("sm_22050_s16.wav"));
        edit(dialog, control_id::kDatabasePath)->setText(output);
        edit(dialog, control_id::kTitle)->setText(QStringLiteral("T sm_22050_s16"));
        edit(dialog, control_id::kDescription)
            ->setText(QStringLiteral("Corpus file sm_22050_s16.wav at 4 bits with VAD"));
        button(dialog, control_id::kFourBits)->setChecked(true);
        button(dialog, control_id::kVoiceActivity)->setChecked(true);
    }

    RecordingPresenter presenter_;
    ScriptedChooser chooser_;
    std::unique_ptr<QTemporaryDir> folder_;

  private slots:
    void init() {
        presenter_.messages.clear();
        chooser_.answers.clear();
        chooser_.filtersAsked.clear();
        folder_ = std::make_unique<QTemporaryDir>();
        QVERIFY(folder_->isValid());
    }

    void dialogUnitsScaleByTheBaseUnits_data() {
        QTest::addColumn<int>("baseWidth");
        QTest::addColumn<int>("baseHeight");
        QTest::addColumn<QRect>("dialogUnits");
        QTest::addColumn<QRect>("pixels");
        QTest::newRow("base 4 x 8 maps one to one")
            << 4 << 8 << QRect(112, 15, 164, 14) << QRect(112, 15, 164, 14);
        // 371 * 7 / 4 = 649.25 and 268 * 15 / 8 = 502.5, rounded to 649 and 503.
        QTest::newRow("whole dialog at 7 x 15")
            << 7 << 15 << QRect(0, 0, 371, 268) << QRect(0, 0, 649, 503);
        // Edges 100 -> 150, 150 -> 225; 234 -> 380.25 (380), 248 -> 403.
        QTest::newRow("OK button at 6 x 13")
            << 6 << 13 << QRect(100, 234, 50, 14) << QRect(150, 380, 75, 23);
        // Adjacent controls still meet: 1 * 6 / 4 = 1.5 rounds to 2, 2 * 6 / 4 = 3.
        QTest::newRow("one unit at 6 x 13") << 6 << 13 << QRect(1, 1, 1, 1) << QRect(2, 2, 1, 1);
    }
    void dialogUnitsScaleByTheBaseUnits() {
        QFETCH(int, baseWidth);
        QFETCH(int, baseHeight);
        QFETCH(QRect, dialogUnits);
        QFETCH(QRect, pixels);
        const DialogUnits units(baseWidth, baseHeight);
        QCOMPARE(units.toPixels(dialogUnits.x(), dialogUnits.y(), dialogUnits.width(),
                                dialogUnits.height()),
                 pixels);
    }

    void dialogOpensWithEmptyFieldsEightBitsAndDetectionOff() {
        ConverterDialog dialog(presenter_, chooser_);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Zelvio Converter"));
        for (int id : {control_id::kInputPath, control_id::kDatabasePath, control_id::kTitle,
                       control_id::kDescription}) {
            QVERIFY2(edit(dialog, id) != nullptr, qPrintable(QString::number(id)));
            QVERIFY(edit(dialog, id)->text().isEmpty());
        }
        QVERIFY(button(dialog, control_id::kEightBits)->isChecked());
        QVERIFY(!button(dialog, control_id::kFourBits)->isChecked());
        QVERIFY(!button(dialog, control_id::kThreeBits)->isChecked());
        QVERIFY(!button(dialog, control_id::kTwoBits)->isChecked());
        QVERIFY(!button(dialog, control_id::kVoiceActivity)->isChecked());
        QVERIFY(!dialog.windowIcon().isNull());
        QCOMPARE(dialog.settings().bitsPerSample, 8);
    }

    void everyControlCarriesItsIdAndText_data() {
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("text");
        QTest::newRow("1") << 1 << "OK";
        QTest::newRow("2") << 2 << "Cancel";
        QTest::newRow("1001") << 1001 << "Browse";
        QTest::newRow("1005") << 1005 << "Browse";
        QTest::newRow("1006") << 1006 << "Voice Activity Detection";
        QTest::newRow("1008") << 1008 << "8 bit per sample (no compression)";
        QTest::newRow("1009") << 1009 << "4 bit per sample";
        QTest::newRow("1010") << 1010 << "3 bit per sample";
        QTest::newRow("1011") << 1011 << "2 bit per sample";
    }
    void everyControlCarriesItsIdAndText() {
        QFETCH(int, id);
        QFETCH(QString, text);
        ConverterDialog dialog(presenter_, chooser_);
        QAbstractButton* control = button(dialog, id);
        QVERIFY(control != nullptr);
        QCOMPARE(control->text(), text);
    }

    void labelsAndGroupBoxReadAsGiven() {
        ConverterDialog dialog(presenter_, chooser_);
        QStringList labels;
        for (QLabel* label : dialog.findChildren<QLabel*>()) {
            labels << label->text();
        }
        labels.sort();
        QCOMPARE(labels, QStringList({"Audio Database Title", "Audio Description",
                                      "Database file name", "Input WAV file name"}));
        const auto boxes = dialog.findChildren<QGroupBox*>();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.front()->title(), QStringLiteral("Compression Mode"));
    }

    void controlsSitAtTheirDialogUnitPositionsInAFixedWindow() {
        ConverterDialog dialog(presenter_, chooser_);
        const DialogUnits units = DialogUnits::fromFont(dialog.font());
        QCOMPARE(dialog.size(), units.toPixels(371, 268));
        QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
        QCOMPARE(dialog.control(control_id::kDescription)->geometry(),
                 units.toPixels(112, 87, 225, 14));
        QCOMPARE(dialog.control(control_id::kOk)->geometry(), units.toPixels(100, 234, 50, 14));
        // Top to bottom: input row, database row, title, description, modes, check box, OK.
        const int order[] = {control_id::kInputPath,     control_id::kDatabasePath,
                             control_id::kTitle,         control_id::kDescription,
                             control_id::kEightBits,     control_id::kTwoBits,
                             control_id::kVoiceActivity, control_id::kOk};
        for (size_t i = 1; i < std::size(order); ++i) {
            QVERIFY2(dialog.control(order[i - 1])->y() < dialog.control(order[i])->y(),
                     qPrintable(QString::number(order[i])));
        }
    }

    void okHoldsTheFocusAndTabVisitsOkAndCancelFirst() {
        ConverterDialog dialog(presenter_, chooser_);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QCOMPARE(QApplication::focusWidget(), dialog.control(control_id::kOk));
        QVERIFY(static_cast<QPushButton*>(dialog.control(control_id::kOk))->isDefault());

        const int expected[] = {
            control_id::kCancel,         control_id::kInputPath,     control_id::kBrowseInput,
            control_id::kTitle,          control_id::kDescription,   control_id::kDatabasePath,
            control_id::kBrowseDatabase, control_id::kVoiceActivity, control_id::kOk};
        for (int id : expected) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget()->property("controlId").toInt(), id);
        }
    }

    void arrowKeysReachAndSelectTheRadioButtons() {
        ConverterDialog dialog(presenter_, chooser_);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        dialog.control(control_id::kVoiceActivity)->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
        QCOMPARE(QApplication::focusWidget(), dialog.control(control_id::kEightBits));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        QCOMPARE(QApplication::focusWidget(), dialog.control(control_id::kFourBits));
        QVERIFY(button(dialog, control_id::kFourBits)->isChecked());
        QVERIFY(!button(dialog, control_id::kEightBits)->isChecked());
    }

    void checkedRadioButtonGivesTheBitsPerSample_data() {
        QTest::addColumn<int>("checkedId");
        QTest::addColumn<int>("bits");
        QTest::newRow("1008") << control_id::kEightBits << 8;
        QTest::newRow("1009") << control_id::kFourBits << 4;
        QTest::newRow("1010") << control_id::kThreeBits << 3;
        QTest::newRow("1011") << control_id::kTwoBits << 2;
        QTest::newRow("none checked") << 0 << 2;
    }
    void checkedRadioButtonGivesTheBitsPerSample() {
        QFETCH(int, checkedId);
        QFETCH(int, bits);
        ConverterDialog dialog(presenter_, chooser_);
        for (int id : {control_id::kEightBits, control_id::kFourBits, control_id::kThreeBits,
                       control_id::kTwoBits}) {
            QAbstractButton* radio = button(dialog, id);
            radio->setAutoExclusive(false);  // lets every button be cleared
            radio->setChecked(id == checkedId);
            radio->setAutoExclusive(true);
        }
        QTest::mouseClick(button(dialog, control_id::kOk), Qt::LeftButton);
        waitForOutcome(dialog);
        QCOMPARE(dialog.settings().bitsPerSample, bits);
    }

    void browseFillsTheEditAndTypedTextBeatsIt() {
        ConverterDialog dialog(presenter_, chooser_);
        chooser_.answers = {QStringLiteral("/chosen/talk.wav"), QStringLiteral("/chosen/out")};
        QTest::mouseClick(button(dialog, control_id::kBrowseInput), Qt::LeftButton);
        QTest::mouseClick(button(dialog, control_id::kBrowseDatabase), Qt::LeftButton);
        QCOMPARE(edit(dialog, control_id::kInputPath)->text(), QStringLiteral("/chosen/talk.wav"));
        QCOMPARE(dialog.settings().inputPath, std::filesystem::path("/chosen/talk.wav"));
        // A name chosen without an extension stays without one.
        QCOMPARE(edit(dialog, control_id::kDatabasePath)->text(), QStringLiteral("/chosen/out"));
        QCOMPARE(dialog.settings().databasePath, std::filesystem::path("/chosen/out"));

        QCOMPARE(chooser_.filtersAsked.size(), size_t{2});
        QCOMPARE(chooser_.filtersAsked[0].description, QStringLiteral("WAVE files"));
        QCOMPARE(chooser_.filtersAsked[0].pattern, QStringLiteral("*.wav"));
        QCOMPARE(chooser_.filtersAsked[1].description, QStringLiteral("Palm database files"));
        QCOMPARE(chooser_.filtersAsked[1].pattern, QStringLiteral("*.pdb"));

        QLineEdit* input = edit(dialog, control_id::kInputPath);
        input->clear();
        QTest::keyClicks(input, QStringLiteral("/typed/memo.wav"));
        QTest::mouseClick(button(dialog, control_id::kOk), Qt::LeftButton);
        waitForOutcome(dialog);
        QCOMPARE(dialog.settings().inputPath, std::filesystem::path("/typed/memo.wav"));
    }

    void cancelledBrowseKeepsTheEdit() {
        ConverterDialog dialog(presenter_, chooser_);
        edit(dialog, control_id::kInputPath)->setText(QStringLiteral("kept.wav"));
        edit(dialog, control_id::kDatabasePath)->setText(QStringLiteral("kept.pdb"));
        QTest::mouseClick(button(dialog, control_id::kBrowseInput), Qt::LeftButton);
        QTest::mouseClick(button(dialog, control_id::kBrowseDatabase), Qt::LeftButton);
        QCOMPARE(edit(dialog, control_id::kInputPath)->text(), QStringLiteral("kept.wav"));
        QCOMPARE(edit(dialog, control_id::kDatabasePath)->text(), QStringLiteral("kept.pdb"));
    }

    void saveDialogOffersOneFilterAndAddsNoExtension() {
        PlatformFileChooser platform;
        const QString typed = folder_->filePath(QStringLiteral("out"));
        QStringList filters;
        onNextModal([&](QWidget* modal) {
            auto* fileDialog = qobject_cast<QFileDialog*>(modal);
            QVERIFY(fileDialog != nullptr);
            filters = fileDialog->nameFilters();
            fileDialog->selectFile(typed);
            static_cast<QDialog*>(fileDialog)->accept();  // QFileDialog hides its override
        });
        const QString chosen = platform.saveFileName(
            nullptr, {QStringLiteral("Palm database files"), QStringLiteral("*.pdb")});
        QCOMPARE(filters, QStringList(QStringLiteral("Palm database files (*.pdb)")));
        QCOMPARE(chosen, typed);
    }

    void saveDialogAsksBeforeChoosingAnExistingFile() {
        PlatformFileChooser platform;
        const QString existing = folder_->filePath(QStringLiteral("old.pdb"));
        QFile file(existing);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QString question;
        onNextModal([&](QWidget* modal) {
            onNextModal([&](QWidget* box) {
                auto* messageBox = qobject_cast<QMessageBox*>(box);
                QVERIFY(messageBox != nullptr);
                question = messageBox->text();
                messageBox->button(QMessageBox::Yes)->click();
            });
            auto* fileDialog = qobject_cast<QFileDialog*>(modal);
            fileDialog->selectFile(existing);
            static_cast<QDialog*>(fileDialog)->accept();
        });
        const QString chosen = platform.saveFileName(
            nullptr, {QStringLiteral("Palm database files"), QStringLiteral("*.pdb")});
        QVERIFY2(question.contains(QStringLiteral("old.pdb")), qPrintable(question));
        QCOMPARE(chosen, existing);
    }

    void enterInAnEditStartsTheConversion() {
        ConverterDialog dialog(presenter_, chooser_);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QLineEdit* title = edit(dialog, control_id::kTitle);
        title->setFocus();
        QTest::keyClicks(title, QStringLiteral("Memo"));
        QTest::keyClick(title, Qt::Key_Return);
        waitForOutcome(dialog);
        QCOMPARE(dialog.settings().title, std::string("Memo"));
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }

    void cancellingConvertsNothing_data() {
        QTest::addColumn<int>("way");
        QTest::newRow("Cancel button") << 0;
        QTest::newRow("Escape") << 1;
        QTest::newRow("close box") << 2;
    }
    void cancellingConvertsNothing() {
        QFETCH(int, way);
        ConverterDialog dialog(presenter_, chooser_);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        const QString output = folder_->filePath(QStringLiteral("cancelled.pdb"));
        fillForCorpusFile(dialog, output);
        switch (way) {
            case 0:
                QTest::mouseClick(button(dialog, control_id::kCancel), Qt::LeftButton);
                break;
            case 1:
                QTest::keyClick(&dialog, Qt::Key_Escape);
                break;
            default:
                dialog.close();
                break;
        }
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(!dialog.isVisible());
        QVERIFY(!dialog.isConverting());
        QTest::qWait(50);
        QVERIFY(presenter_.messages.empty());
        QVERIFY(!QFile::exists(output));
    }

    void aboutCommandOpensTheAboutBoxWhateverItsLowBits_data() {
        QTest::addColumn<int>("command");
        QTest::addColumn<bool>("opens");
        QTest::newRow("16") << 16 << true;
        QTest::newRow("17") << 17 << true;
        QTest::newRow("31") << 31 << true;
        QTest::newRow("32") << 32 << false;
        QTest::newRow("0") << 0 << false;
        QTest::newRow("close, 0xF060") << 0xF060 << false;
    }
    void aboutCommandOpensTheAboutBoxWhateverItsLowBits() {
        QFETCH(int, command);
        QFETCH(bool, opens);
        ConverterDialog dialog(presenter_, chooser_);
        dialog.show();
        edit(dialog, control_id::kTitle)->setText(QStringLiteral("unchanged"));
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
        QCOMPARE(edit(dialog, control_id::kTitle)->text(), QStringLiteral("unchanged"));
    }

    void aboutEntryIsOnTheContextMenuAndF1() {
        ConverterDialog dialog(presenter_, chooser_);
        QCOMPARE(dialog.contextMenuPolicy(), Qt::ActionsContextMenu);
        const auto actions = dialog.actions();
        QCOMPARE(actions.size(), 1);
        QCOMPARE(actions.front()->text(), QStringLiteral("&About Zelvio Converter..."));
        QCOMPARE(actions.front()->shortcut(), QKeySequence(Qt::Key_F1));
        QString caption;
        onNextModal([&](QWidget* modal) {
            caption = modal->windowTitle();
            static_cast<QDialog*>(modal)->reject();
        });
        actions.front()->trigger();
        QCOMPARE(caption, QStringLiteral("About Zelvio Converter"));
    }

    void aboutBoxShowsNameVersionAndIcon() {
        AboutDialog about;
        QCOMPARE(about.windowTitle(), QStringLiteral("About Zelvio Converter"));
        QCOMPARE(about.size(), DialogUnits::fromFont(about.font()).toPixels(286, 148));
        QStringList texts;
        int pictures = 0;
        for (QLabel* label : about.findChildren<QLabel*>()) {
            if (label->pixmap().isNull()) {
                texts << label->text();
            } else {
                ++pictures;
            }
        }
        QCOMPARE(pictures, 1);
        QCOMPARE(texts.size(), 6);
        QVERIFY(texts.contains(QStringLiteral("Zelvio Database Converter")));
        QVERIFY(texts.contains(QStringLiteral("Version 1.0")));
        auto* ok = about.findChild<QPushButton*>();
        QVERIFY(ok->isDefault());
        about.show();
        QTest::mouseClick(ok, Qt::LeftButton);
        QCOMPARE(about.result(), int(QDialog::Accepted));
    }

    void eachOutcomeShowsItsTextCaptionAndIcon_data() {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("output");
        QTest::addColumn<QByteArray>("tmpdir");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("icon");
        QTest::addColumn<bool>("saved");
        const QString wav = vector("sm_22050_s16.wav");
        QTest::newRow("input missing") << QStringLiteral("/no/such/input.wav") << "out.pdb"
                                       << QByteArray() << "Cannot open input WAVE file!"
                                       << "Error" << int(OutcomeIcon::Stop) << false;
        QTest::newRow("no scratch folder")
            << wav << "out.pdb" << QByteArray("/no/such/scratch/folder") << "FILE IO error!"
            << "Error" << int(OutcomeIcon::Stop) << false;
        QTest::newRow("database folder missing") << wav << "missing/out.pdb" << QByteArray()
                                                 << "FILE IO error when creating database file!"
                                                 << "Error" << int(OutcomeIcon::Stop) << false;
        QTest::newRow("success") << wav << "out.pdb" << QByteArray()
                                 << "Conversion completed successfully, audio database file saved."
                                 << "Audio Database Saved" << int(OutcomeIcon::Information) << true;
    }
    void eachOutcomeShowsItsTextCaptionAndIcon() {
        QFETCH(QString, input);
        QFETCH(QString, output);
        QFETCH(QByteArray, tmpdir);
        QFETCH(QString, text);
        QFETCH(QString, caption);
        QFETCH(int, icon);
        QFETCH(bool, saved);
        const bool hadTmpdir = qEnvironmentVariableIsSet("TMPDIR");
        const QByteArray oldTmpdir = qgetenv("TMPDIR");
        if (!tmpdir.isEmpty()) {
            qputenv("TMPDIR", tmpdir);
        }
        ConverterDialog dialog(presenter_, chooser_);
        const QString outputPath = folder_->filePath(output);
        edit(dialog, control_id::kInputPath)->setText(input);
        edit(dialog, control_id::kDatabasePath)->setText(outputPath);
        QTest::mouseClick(button(dialog, control_id::kOk), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.isConverting(), 120000);
        if (!tmpdir.isEmpty()) {
            if (hadTmpdir) {
                qputenv("TMPDIR", oldTmpdir);
            } else {
                qunsetenv("TMPDIR");
            }
        }
        QCOMPARE(presenter_.messages.size(), size_t{1});
        const Message& message = presenter_.messages.front();
        QCOMPARE(message.text, text);
        QCOMPARE(message.caption, caption);
        QCOMPARE(int(message.icon), icon);
        // Failures say what went wrong beneath the converter's own text.
        QCOMPARE(message.detail.isEmpty(), saved);
        QCOMPARE(QFile::exists(outputPath), saved);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }

    void runKeepsTheWindowAliveButLocked() {
        ConverterDialog dialog(presenter_, chooser_);
        dialog.show();
        fillForCorpusFile(dialog, folder_->filePath(QStringLiteral("locked.pdb")));
        QTest::mouseClick(button(dialog, control_id::kOk), Qt::LeftButton);
        QVERIFY(dialog.isConverting());
        QVERIFY(!dialog.control(control_id::kOk)->isEnabled());
        QVERIFY(!dialog.control(control_id::kInputPath)->isEnabled());
        QVERIFY(!dialog.control(control_id::kEightBits)->isEnabled());
        QVERIFY(dialog.findChild<QProgressBar*>()->isVisible());
        QVERIFY(QApplication::overrideCursor() != nullptr);
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::BusyCursor);
        // Escape and Cancel are ignored until the outcome has been shown.
        dialog.reject();
        dialog.close();
        QVERIFY(dialog.isVisible());
        waitForOutcome(dialog);
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        QCOMPARE(dialog.findChild<QProgressBar*>()->value(), 1000);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(!dialog.isVisible());
    }

    void conversionThroughTheDialogGivesTheReferenceDatabase() {
        ConverterDialog dialog(presenter_, chooser_);
        const QString output = folder_->filePath(QStringLiteral("sm_22050_s16.b4.vad.pdb"));
        fillForCorpusFile(dialog, output);
        QTest::mouseClick(button(dialog, control_id::kOk), Qt::LeftButton);
        waitForOutcome(dialog);
        QCOMPARE(presenter_.messages.front().caption, QStringLiteral("Audio Database Saved"));
        const std::vector<char> made = fileBytes(output);
        const std::vector<char> reference = fileBytes(vector("sm_22050_s16.b4.vad.pdb"));
        QVERIFY(!reference.empty());
        QCOMPARE(made.size(), reference.size());
        QVERIFY(made == reference);
    }
};

QTEST_MAIN(ConverterDialogTest)
#include "converter_dialog_test.moc"
