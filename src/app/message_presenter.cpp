#include "app/message_presenter.h"

#include <QMessageBox>

namespace zelvio {
namespace {

QMessageBox::Icon boxIcon(OutcomeIcon icon) {
    switch (icon) {
        case OutcomeIcon::Information:
            return QMessageBox::Information;
        case OutcomeIcon::Warning:
            return QMessageBox::Warning;
        case OutcomeIcon::Stop:
            return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

void MessageBoxPresenter::show(const QString& text, const QString& caption, OutcomeIcon icon,
                               const QString& detail) {
    QMessageBox box(boxIcon(icon), caption, text, QMessageBox::Ok, parent_);
    if (!detail.isEmpty()) {
        box.setInformativeText(detail);
    }
    box.exec();
}

}  // namespace zelvio
