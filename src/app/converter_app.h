#pragma once
// The application object: shows the converter dialog once, modally; when it closes the program
// ends.

#include <QString>

namespace zelvio {

/// Runs the program's one dialog. Needs a QApplication.
class ConverterApp {
  public:
    /// Shows the converter dialog modally and destroys it when it closes. Returns false: the
    /// program has nothing left to do and needs no further event loop.
    bool start();

    /// Shows the converter dialog in its initial state, saves an image of it as a PNG at path
    /// and closes it. Returns true when the image was written.
    [[nodiscard]] bool saveScreenshot(const QString& path);
};

}  // namespace zelvio
