#pragma once
// The converter's icon: a handheld showing a sound wave.

#include <QIcon>

namespace zelvio {

/// The icon with its 16 x 16 and 32 x 32 images, from the program's resources.
QIcon applicationIcon();

}  // namespace zelvio
