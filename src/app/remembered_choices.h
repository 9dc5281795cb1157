#pragma once
// What the dialog remembers between runs (the last input and database folders and the mode),
// kept in the user's settings: an INI file, on Linux ~/.config/zelvio/zelvio-gui.ini. Tests point
// QSettings elsewhere with QSettings::setPath().

#include "frontend/converter_form.h"

namespace zelvio {

/// The choices stored by the last run; the defaults (no folders, 8 bits) when none are.
[[nodiscard]] RememberedChoices loadRememberedChoices();
/// Stores choices for the next run.
void saveRememberedChoices(const RememberedChoices& choices);
/// Removes every stored choice.
void forgetRememberedChoices();

}  // namespace zelvio
