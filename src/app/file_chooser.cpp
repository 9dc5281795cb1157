#include "app/file_chooser.h"

#include <QFileDialog>

namespace zelvio {

QString filterText(const FileFilter& filter) {
    return filter.description + QStringLiteral(" (") + filter.pattern + QStringLiteral(")");
}

QString filterText(const QList<FileFilter>& filters) {
    QStringList texts;
    for (const FileFilter& filter : filters) {
        texts << filterText(filter);
    }
    return texts.join(QStringLiteral(";;"));
}

QString PlatformFileChooser::openFileName(QWidget* owner, const QList<FileFilter>& filters) {
    // An empty caption leaves the platform's default title.
    return QFileDialog::getOpenFileName(owner, QString(), startFolder(), filterText(filters));
}

QString PlatformFileChooser::saveFileName(QWidget* owner, const FileFilter& filter) {
    // QFileDialog confirms overwriting by default and, with no default suffix set, keeps a name
    // typed without an extension as it is.
    return QFileDialog::getSaveFileName(owner, QString(), startFolder(), filterText(filter));
}

}  // namespace zelvio
