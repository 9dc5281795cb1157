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

std::unique_ptr<QMessageBox> makeMessageBox(const QString& text, const QString& caption,
                                            OutcomeIcon icon, const QString& detail,
                                            QWidget* parent) {
    auto box = std::make_unique<QMessageBox>(boxIcon(icon), caption, text, QMessageBox::Ok, parent);
    if (!detail.isEmpty()) {
        box->setInformativeText(detail);
    }
    return box;
}

void MessageBoxPresenter::show(const QString& text, const QString& caption, OutcomeIcon icon,
                               const QString& detail) {
    makeMessageBox(text, caption, icon, detail, parent_)->exec();
}

bool MessageBoxPresenter::confirm(const QString& question, const QString& caption) {
    return QMessageBox::question(parent_, caption, question, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

}  // namespace zelvio
