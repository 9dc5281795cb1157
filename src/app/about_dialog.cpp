#include "app/about_dialog.h"

#include <QLabel>
#include <QPushButton>

#include "app/application_icon.h"
#include "app/dialog_units.h"

namespace zelvio {
namespace {

struct AboutLabel {
    const char* text;
    int x, y, width, height;
};

// The four lines under the version: with the build's version and git commit, what --version
// says.
constexpr AboutLabel kFurtherLabels[] = {
    {"Turns WAVE recordings into", 60, 54, 119, 8},
    {"audio databases for Palm handhelds.", 60, 70, 147, 8},
    {"Build " ZELVIO_VERSION, 60, 86, 81, 8},
    {sizeof(ZELVIO_GIT_REVISION) > 1 ? "git " ZELVIO_GIT_REVISION ", Qt " QT_VERSION_STR
                                     : "Made with Qt " QT_VERSION_STR,
     60, 113, 91, 8},
};

}  // namespace

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    const DialogUnits units = DialogUnits::fromFont(font());
    setWindowTitle(QString::fromLatin1(kAboutCaption));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(units.toPixels(286, 148));
    setWindowIcon(applicationIcon());

    auto* icon = new QLabel(this);
    icon->setPixmap(applicationIcon().pixmap(32, 32));
    icon->setGeometry(QRect(units.toPixels(17, 16, 0, 0).topLeft(), QSize(32, 32)));

    auto* product = new QLabel(QString::fromLatin1(kAboutProductText), this);
    product->setTextFormat(Qt::PlainText);  // no mnemonic or markup processing
    product->setGeometry(units.toPixels(60, 17, 119, 14));

    auto* version = new QLabel(QString::fromLatin1(kAboutVersionText), this);
    version->setGeometry(units.toPixels(60, 34, 45, 8));

    for (const AboutLabel& line : kFurtherLabels) {
        auto* label = new QLabel(QString::fromLatin1(line.text), this);
        label->setGeometry(units.toPixels(line.x, line.y, line.width, line.height));
    }

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setGeometry(units.toPixels(210, 24, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    ok->setFocus();
}

}  // namespace zelvio
