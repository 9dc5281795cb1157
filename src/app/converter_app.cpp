#include "app/converter_app.h"

#include <QApplication>
#include <QPixmap>

#include "app/converter_dialog.h"

namespace zelvio {

bool ConverterApp::start() {
    ConverterDialog dialog;
    dialog.exec();  // OK or Cancel: either way the program ends
    return false;
}

bool ConverterApp::saveScreenshot(const QString& path) {
    ConverterDialog dialog;
    dialog.show();
    // Let the window be mapped and painted before it is grabbed.
    for (int round = 0; round < 5; ++round) {
        QApplication::processEvents();
    }
    const bool saved = dialog.grab().save(path, "PNG");
    dialog.reject();
    return saved;
}

}  // namespace zelvio
