#pragma once
// The converter dialog as a native Windows dialog, from the template IDD_CONVERTER in
// zelvio-gui.rc. OK (or Enter) reads the controls into ConversionSettings and runs the
// ConversionJob on a worker thread; the dialog shows its progress (bar, stage, time left) with
// the controls disabled but Cancel, then the outcome in a message box, and closes. Cancel and
// Escape stop a running conversion (nothing is written); the close box asks first. Before a run
// they close the dialog. A file dropped on the dialog fills the input field, a .pdb file the
// database field.
//
// What the fields mean, the suggested database name, the progress text and the outcome's message
// come from frontend/, as for the Qt dialog; this file draws nothing itself and only wires the
// template's controls to them.

#include <windows.h>

#include <string>

namespace zelvio::win32 {

/// Shows the converter dialog modally and returns the button that closed it (IDOK after a
/// conversion, IDCANCEL otherwise). inputPath and databasePath (UTF-8, may be empty) fill the
/// two path fields when it opens, as given on the command line.
INT_PTR runConverterDialog(HINSTANCE instance, const std::string& inputPath = {},
                           const std::string& databasePath = {});

/// Whether a file dropped on the dialog goes to the database field: a name ending in .pdb, in
/// any case; any other file goes to the input field.
[[nodiscard]] bool isDatabaseName(const std::wstring& path);

}  // namespace zelvio::win32
