#include "app/application_icon.h"

namespace zelvio {

QIcon applicationIcon() {
    QIcon icon;
    icon.addFile(QStringLiteral(":/zelvio/icons/zelvio-16.png"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/zelvio/icons/zelvio-32.png"), QSize(32, 32));
    return icon;
}

}  // namespace zelvio
