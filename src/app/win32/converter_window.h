#pragma once
// The converter dialog as a native Windows dialog, from the template IDD_CONVERTER in
// zelvio-gui.rc. OK (or Enter) reads the controls into ConversionSettings and runs the
// ConversionJob on a worker thread; the dialog shows its progress (bar, stage, time left) with
// the controls disabled but Cancel, then the outcome in a message box, and closes. Cancel and
// Escape stop a running conversion (nothing is written); the close box asks first. Before a run
// they close the dialog.
//
// What the fields mean, the suggested database name, the progress text and the outcome's message
// come from frontend/, as for the Qt dialog; this file draws nothing itself and only wires the
// template's controls to them.

#include <windows.h>

namespace zelvio::win32 {

/// Shows the converter dialog modally and returns the button that closed it (IDOK after a
/// conversion, IDCANCEL otherwise).
INT_PTR runConverterDialog(HINSTANCE instance);

}  // namespace zelvio::win32
