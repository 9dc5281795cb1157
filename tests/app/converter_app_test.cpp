// The program around the dialog: the command line, what is remembered between runs, the
// screenshots, and --help and --version where there is no display.
#include <QAbstractButton>
#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

#include "app/converter_app.h"
#include "app/converter_dialog.h"
#include "app/dialog_units.h"
#include "zelvio/version.h"

using namespace zelvio;
using namespace zelvio::control_id;

namespace {

QString vector(const char* name) {
    return QStringLiteral(ZELVIO_TEST_DATA "/vectors/") + QString::fromLatin1(name);
}

// What the dialog that start() shows held, seen from inside its modal loop.
struct Seen {
    QString input, database;
    int checkedMode = 0;
};

// Runs ConverterApp::start(options); once the dialog is up, records what it shows, lets act
// change it and closes it with Cancel.
Seen startAndCancel(const StartOptions& options,
                    const std::function<void(ConverterDialog&)>& act = {}) {
    Seen seen;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<ConverterDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog != nullptr);
        const FormFields fields = dialog->fields();
        seen = {QString::fromStdString(fields.inputPath),
                QString::fromStdString(fields.databasePath), fields.checkedModeId};
        if (act) {
            act(*dialog);
        }
        qobject_cast<QAbstractButton*>(dialog->control(kCancel))->click();
    });
    ConverterApp().start(options);
    return seen;
}

// Runs zelvio-gui with arguments in folder, with environment changes ("NAME=value", or "NAME"
// to remove a variable); returns its exit status, -1 when it did not finish.
int runProgram(const QStringList& arguments, const QString& folder, const QStringList& environment,
               QByteArray* out = nullptr) {
    QProcess program;
    QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
    for (const QString& change : environment) {
        const qsizetype equals = change.indexOf(QLatin1Char('='));
        equals < 0 ? variables.remove(change)
                   : variables.insert(change.left(equals), change.mid(equals + 1));
    }
    program.setProcessEnvironment(variables);
    program.setWorkingDirectory(folder);
    program.start(QStringLiteral(ZELVIO_GUI), arguments);
    if (!program.waitForFinished(120000) || program.exitStatus() != QProcess::NormalExit) {
        return -1;
    }
    if (out != nullptr) {
        *out = program.readAllStandardOutput();
    }
    return program.exitCode();
}

const QStringList kNoDisplay = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
const QStringList kOffscreen = {"QT_QPA_PLATFORM=offscreen"};

}  // namespace

class ConverterAppTest : public QObject {
    Q_OBJECT

    QTemporaryDir settingsFolder_;
    std::unique_ptr<QTemporaryDir> folder_;

  private slots:
    // Never the user's own settings: the remembered choices go to a scratch folder.
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(settingsFolder_.isValid());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsFolder_.path());
        const QSettings settings(QSettings::IniFormat, QSettings::UserScope,
                                 QStringLiteral("zelvio"), QStringLiteral("zelvio-gui"));
        QVERIFY2(settings.fileName().startsWith(settingsFolder_.path()),
                 qPrintable(settings.fileName()));
    }

    void init() {
        folder_ = std::make_unique<QTemporaryDir>();
        QVERIFY(folder_->isValid());
    }

    void argumentsFillTheFieldsAndTheChoicesAreRememberedUntilReset() {
        Seen seen = startAndCancel(
            {QStringLiteral("/rec/talk.wav"), {}, true}, [](ConverterDialog& dialog) {
                qobject_cast<QAbstractButton*>(dialog.control(kThreeBits))->setChecked(true);
            });
        QCOMPARE(seen.input, QStringLiteral("/rec/talk.wav"));
        QCOMPARE(seen.database, QStringLiteral("/rec/talk.pdb"));  // suggested
        QCOMPARE(seen.checkedMode, kEightBits);                    // started clean

        RememberedChoices remembered;
        seen = startAndCancel(
            {QStringLiteral("in.wav"), QStringLiteral("/db/out.pdb")},
            [&](ConverterDialog& dialog) { remembered = dialog.choicesToRemember(); });
        QCOMPARE(seen.input, QStringLiteral("in.wav"));
        QCOMPARE(seen.database, QStringLiteral("/db/out.pdb"));
        QCOMPARE(seen.checkedMode, kThreeBits);  // from the first run
        QCOMPARE(remembered.databaseFolder, std::string("/db"));

        seen = startAndCancel(
            {}, [&](ConverterDialog& dialog) { remembered = dialog.choicesToRemember(); });
        QCOMPARE(seen.input, QString());
        QCOMPARE(seen.checkedMode, kThreeBits);
        QCOMPARE(remembered.databaseFolder, std::string("/db"));  // the second run's

        // --reset and ZELVIO_GUI_RESET=1 both start clean.
        for (bool option : {true, false}) {
            startAndCancel({}, [](ConverterDialog& dialog) {
                qobject_cast<QAbstractButton*>(dialog.control(kTwoBits))->setChecked(true);
            });
            if (!option) {
                qputenv("ZELVIO_GUI_RESET", "1");
            }
            seen = startAndCancel({{}, {}, option}, [&](ConverterDialog& dialog) {
                remembered = dialog.choicesToRemember();
            });
            qunsetenv("ZELVIO_GUI_RESET");
            QCOMPARE(seen.checkedMode, kEightBits);
            QCOMPARE(remembered, RememberedChoices{});
        }
    }

    void screenshotsShowTheDialogEmptyDuringAConversionAndTheOutcome() {
        const QString empty = folder_->filePath(QStringLiteral("empty.png"));
        const QString converting = folder_->filePath(QStringLiteral("converting.png"));
        const QString outcome = folder_->filePath(QStringLiteral("outcome.png"));
        const QString database = folder_->filePath(QStringLiteral("shot.pdb"));
        ConverterApp app;
        QVERIFY(app.saveScreenshot(empty, ScreenshotState::Empty));
        QVERIFY(app.saveScreenshot(converting, ScreenshotState::Converting,
                                   {QStringLiteral("/rec/talk.wav"), {}, false}));
        QVERIFY(app.saveScreenshot(outcome, ScreenshotState::Outcome,
                                   {vector("sm_22050_s16.wav"), database, false}));
        QVERIFY(
            !app.saveScreenshot(QStringLiteral("/no/such/folder/x.png"), ScreenshotState::Empty));

        const QImage emptyImage(empty), convertingImage(converting), outcomeImage(outcome);
        const QSize dialogSize = DialogUnits::fromFont(QApplication::font()).toPixels(371, 268);
        QCOMPARE(emptyImage.size(), dialogSize);
        QCOMPARE(convertingImage.size(), dialogSize);
        QVERIFY(emptyImage != convertingImage);  // the progress bar and the locked controls
        QVERIFY(!outcomeImage.isNull());
        QVERIFY(outcomeImage.size() != dialogSize);  // the message box
        QVERIFY(QFile::exists(database));            // converted for real
    }

    void programConvertsTheFilesItIsGiven() {
        QVERIFY(QFile::copy(vector("sm_22050_s16.wav"), folder_->filePath("talk.wav")));
        QCOMPARE(
            runProgram({"--screenshot", "outcome.png", "--screenshot-state", "outcome", "talk.wav"},
                       folder_->path(), kOffscreen),
            0);
        QVERIFY(QFile::exists(folder_->filePath("outcome.png")));
        QVERIFY(QFile::exists(folder_->filePath("talk.pdb")));  // the suggested name
        QCOMPARE(runProgram({"--screenshot", "outcome.png", "--screenshot-state", "outcome",
                             "talk.wav", "other.pdb"},
                            folder_->path(), kOffscreen),
                 0);
        QVERIFY(QFile::exists(folder_->filePath("other.pdb")));
    }

    void programAnswersHelpAndVersionWithoutADisplayAndRefusesWrongArguments() {
        QByteArray out;
        QCOMPARE(runProgram({"--version"}, folder_->path(), kNoDisplay, &out), 0);
        QCOMPARE(out, QByteArray("zelvio-gui ") + kVersionText + "\n");
        QVERIFY(out.contains("1.0.0.1"));
        QCOMPARE(runProgram({"-v"}, folder_->path(), kNoDisplay), 0);
        QCOMPARE(runProgram({"--help"}, folder_->path(), kNoDisplay, &out), 0);
        for (const char* text : {"[INPUT [DATABASE]]", "--reset", "--screenshot-state"}) {
            QVERIFY2(out.contains(text), text);
        }
        const QStringList wrong[] = {
            {"--no-such-option"},
            {"a.wav", "b.pdb", "c"},
            {"--screenshot", "x.png", "--screenshot-state", "sideways"},
        };
        for (const QStringList& arguments : wrong) {
            QCOMPARE(runProgram(arguments, folder_->path(), kOffscreen), 2);
        }
        QVERIFY(!QFile::exists(folder_->filePath("x.png")));
    }
};

QTEST_MAIN(ConverterAppTest)
#include "converter_app_test.moc"
