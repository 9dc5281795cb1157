#pragma once
// The application object: shows the converter dialog once, modally; when it closes the program
// ends. It starts the dialog from what the last run remembered and the paths given on the
// command line, and remembers the folders and mode of this run.

#include <QString>
#include <optional>

namespace zelvio {

/// How the program was started.
struct StartOptions {
    QString inputPath;     ///< fills the input field when not empty (and suggests the database)
    QString databasePath;  ///< fills the database field when not empty
    bool reset = false;    ///< forget what earlier runs remembered, as ZELVIO_GUI_RESET=1 does
};

/// The states of the dialog a screenshot can show.
enum class ScreenshotState {
    Empty,       ///< as it opens
    Converting,  ///< during a conversion (a moment of it, frozen)
    Outcome,     ///< the message box at the end of a real conversion of the given paths
};

/// The state a name stands for: "empty", "converting" or "outcome"; nullopt for any other.
std::optional<ScreenshotState> screenshotStateNamed(const QString& name);

/// Runs the program's one dialog. Needs a QApplication.
class ConverterApp {
  public:
    /// Shows the converter dialog modally and destroys it when it closes, then stores what it
    /// chose for the next run. Returns false: the program has nothing left to do and needs no
    /// further event loop.
    bool start(const StartOptions& options = {});

    /// Shows the dialog in a state with the paths of options (nothing is read from or stored in
    /// the user's settings), saves an image of it, or of the outcome's message box, as a PNG
    /// at path and closes it. Returns true when the image was written.
    [[nodiscard]] bool saveScreenshot(const QString& path, ScreenshotState state,
                                      const StartOptions& options = {});
};

}  // namespace zelvio
