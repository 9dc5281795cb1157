// zelvio-gui [--screenshot FILE.png]
//
// Shows the converter dialog; the program ends when it closes. --screenshot saves an image of the
// dialog in its initial state instead, for the documentation.
#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>

#include "app/application_icon.h"
#include "app/converter_app.h"
#include "zelvio/version.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zelvio-gui"));
    QApplication::setApplicationDisplayName(QStringLiteral("Zelvio Converter"));
    QApplication::setApplicationVersion(QString::fromLatin1(zelvio::kVersion));
    QApplication::setDesktopFileName(QStringLiteral("zelvio-gui"));
    QApplication::setWindowIcon(zelvio::applicationIcon());

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Converts a WAVE file into a Palm OS audio database."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption screenshot(
        QStringLiteral("screenshot"),
        QStringLiteral("Save an image of the dialog as a PNG file and exit."),
        QStringLiteral("file"));
    parser.addOption(screenshot);
    parser.process(application);

    zelvio::ConverterApp converter;
    if (parser.isSet(screenshot)) {
        if (!converter.saveScreenshot(parser.value(screenshot))) {
            std::fprintf(stderr, "zelvio-gui: cannot write %s\n",
                         qPrintable(parser.value(screenshot)));
            return 1;
        }
        return 0;
    }
    return converter.start() ? QApplication::exec() : 0;
}
