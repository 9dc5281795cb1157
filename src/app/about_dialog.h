#pragma once
// The about box: the program's name, version and icon, closed with OK, Escape or its close box.

#include <QDialog>

#include "zelvio/version.h"

namespace zelvio {

/// Texts of the about box.
inline constexpr const char* kAboutCaption = "About Zelvio Converter";
inline constexpr const char* kAboutProductText = "Zelvio Database Converter";
inline constexpr const char* kAboutVersionText = "Version " ZELVIO_VERSION_MAJOR_MINOR;

/// The about box, 286 x 148 dialog units, fixed in size. It has no behaviour of its own.
class AboutDialog : public QDialog {
    Q_OBJECT

  public:
    explicit AboutDialog(QWidget* parent = nullptr);
};

}  // namespace zelvio
