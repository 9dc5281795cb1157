// zelvio-gui.exe: the converter dialog as a native Windows program.
//
//   zelvio-gui.exe [INPUT [DATABASE]]     the two path fields filled in
#include <windows.h>
// After windows.h, which they need:
#include <commctrl.h>
#include <shellapi.h>

#include <string>

#include "app/win32/converter_window.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // The common controls of the manifest's version: the current look and the progress bar.
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX),
                                  ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
    // The paths from the UTF-16 command line, so that names in every script arrive whole.
    std::string paths[2];
    int count = 0;
    if (wchar_t** words = ::CommandLineToArgvW(::GetCommandLineW(), &count)) {
        for (int i = 1; i < count && i <= 2; ++i) {
            const int bytes =
                ::WideCharToMultiByte(CP_UTF8, 0, words[i], -1, nullptr, 0, nullptr, nullptr);
            std::string& path = paths[i - 1];
            path.resize(bytes > 0 ? static_cast<std::size_t>(bytes) : 1);
            ::WideCharToMultiByte(CP_UTF8, 0, words[i], -1, path.data(), bytes, nullptr, nullptr);
            path.pop_back();  // the terminating null
        }
        ::LocalFree(words);
    }
    zelvio::win32::runConverterDialog(instance, paths[0], paths[1]);
    return 0;
}
