// zelvio-gui.exe: the converter dialog as a native Windows program.
#include <windows.h>
// After windows.h, which they need:
#include <commctrl.h>

#include "app/win32/converter_window.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // The common controls of the manifest's version: the current look and the progress bar.
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX),
                                  ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
    zelvio::win32::runConverterDialog(instance);
    return 0;
}
