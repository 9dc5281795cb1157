// zelvio-gui [--reset] [INPUT [DATABASE]]
// zelvio-gui --screenshot FILE.png [--screenshot-state empty|converting|outcome] [INPUT [DATABASE]]
//
// Shows the converter dialog with INPUT and DATABASE in its fields (a file manager's "Open with"
// passes the recording as INPUT); the program ends when it closes. --screenshot saves an image of
// the dialog in a state instead, for the documentation. --help and --version answer without a
// display.
#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>
#include <optional>

#include "app/application_icon.h"
#include "app/converter_app.h"
#include "zelvio/version.h"

namespace {

constexpr int kExitUsage = 2;

/// The program's options, for both passes over the arguments.
struct Options {
    QCommandLineOption help = QCommandLineOption({QStringLiteral("h"), QStringLiteral("help")},
                                                 QStringLiteral("Show this help and exit."));
    QCommandLineOption version = QCommandLineOption(
        {QStringLiteral("v"), QStringLiteral("version")},
        QStringLiteral("Show the version and the git commit of the build, and exit."));
    QCommandLineOption reset = QCommandLineOption(
        QStringLiteral("reset"),
        QStringLiteral("Forget the folders and the mode remembered from earlier runs "
                       "(as ZELVIO_GUI_RESET=1 does)."));
    QCommandLineOption screenshot =
        QCommandLineOption(QStringLiteral("screenshot"),
                           QStringLiteral("Save an image of the dialog as a PNG file and exit."),
                           QStringLiteral("file"));
    QCommandLineOption screenshotState = QCommandLineOption(
        QStringLiteral("screenshot-state"),
        QStringLiteral("The state --screenshot shows: empty (the default), converting (a moment "
                       "of a conversion) or outcome (the message after converting INPUT into "
                       "DATABASE)."),
        QStringLiteral("state"), QStringLiteral("empty"));

    void addTo(QCommandLineParser& parser) const {
        parser.setApplicationDescription(
            QStringLiteral("Converts a recording into a Palm OS audio database. INPUT and "
                           "DATABASE fill the dialog's fields; with INPUT alone the database "
                           "is the input's name with .pdb."));
        parser.addOptions({help, version, reset, screenshot, screenshotState});
        parser.addPositionalArgument(QStringLiteral("input"),
                                     QStringLiteral("The recording to convert."),
                                     QStringLiteral("[INPUT"));
        parser.addPositionalArgument(QStringLiteral("database"),
                                     QStringLiteral("The database file to write."),
                                     QStringLiteral("[DATABASE]]"));
    }
};

void printOut(const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stdout);
}

int usageError(const QString& message) {
    std::fprintf(stderr, "zelvio-gui: %s\n", qPrintable(message));
    std::fprintf(stderr, "Try 'zelvio-gui --help'.\n");
    return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication::setApplicationName(QStringLiteral("zelvio-gui"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(zelvio::kVersionText));
    const Options options;

    // --help and --version are answered before the window system is asked for, so that they work
    // where there is no display. Other mistakes are reported once QApplication has taken its
    // own options (-platform, -display and the like) out of the arguments.
    {
        const QCoreApplication probe(argc, argv);
        QCommandLineParser parser;
        options.addTo(parser);
        static_cast<void>(parser.parse(QCoreApplication::arguments()));
        if (parser.isSet(options.help)) {
            printOut(parser.helpText());
            return 0;
        }
        if (parser.isSet(options.version)) {
            printOut(QStringLiteral("zelvio-gui %1\n").arg(QCoreApplication::applicationVersion()));
            return 0;
        }
    }

    QApplication application(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Zelvio Converter"));
    QApplication::setDesktopFileName(QStringLiteral("zelvio-gui"));
    QApplication::setWindowIcon(zelvio::applicationIcon());

    QCommandLineParser parser;
    options.addTo(parser);
    if (!parser.parse(QApplication::arguments())) {
        return usageError(parser.errorText());
    }
    const QStringList paths = parser.positionalArguments();
    if (paths.size() > 2) {
        return usageError(QStringLiteral("at most two files: INPUT and DATABASE"));
    }
    zelvio::StartOptions start;
    start.inputPath = paths.value(0);
    start.databasePath = paths.value(1);
    start.reset = parser.isSet(options.reset);

    zelvio::ConverterApp converter;
    if (parser.isSet(options.screenshot)) {
        const std::optional<zelvio::ScreenshotState> state =
            zelvio::screenshotStateNamed(parser.value(options.screenshotState));
        if (!state) {
            return usageError(QStringLiteral("--screenshot-state is empty, converting or outcome"));
        }
        if (!converter.saveScreenshot(parser.value(options.screenshot), *state, start)) {
            std::fprintf(stderr, "zelvio-gui: cannot write %s\n",
                         qPrintable(parser.value(options.screenshot)));
            return 1;
        }
        return 0;
    }
    return converter.start(start) ? QApplication::exec() : 0;
}
