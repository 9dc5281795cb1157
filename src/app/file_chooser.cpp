#include "app/file_chooser.h"

#include <QFileDialog>

namespace zelvio {

QString filterText(const FileFilter& filter) {
    return filter.description + QStringLiteral(" (") + filter.pattern + QStringLiteral(")");
}

QString PlatformFileChooser::openFileName(QWidget* owner, const FileFilter& filter) {
    // An empty caption leaves the platform's default title.
    return QFileDialog::getOpenFileName(owner, QString(), startFolder(), filterText(filter));
}

QString PlatformFileChooser::saveFileName(QWidget* owner, const FileFilter& filter) {
    // QFileDialog confirms overwriting by default and, with no default suffix set, keeps a name
    // typed without an extension as it is.
    return QFileDialog::getSaveFileName(owner, QString(), startFolder(), filterText(filter));
}

}  // namespace zelvio
