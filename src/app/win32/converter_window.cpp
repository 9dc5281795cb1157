#include "app/win32/converter_window.h"

// After windows.h, which they need:
#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>

#include <atomic>
#include <chrono>
#include <cwctype>
#include <string>
#include <string_view>
#include <thread>

#include "app/win32/resource.h"
#include "frontend/converter_form.h"
#include "frontend/outcome_text.h"
#include "frontend/progress_text.h"
#include "job/conversion_job.h"
#include "job/stop_token.h"
#include "zelvio/version.h"

namespace zelvio::win32 {
namespace {

// The template's ids are the form's, which the Qt dialog uses too.
static_assert(IDOK == control_id::kOk && IDCANCEL == control_id::kCancel);
static_assert(IDC_INPUT_PATH == control_id::kInputPath &&
              IDC_BROWSE_INPUT == control_id::kBrowseInput && IDC_TITLE == control_id::kTitle &&
              IDC_DESCRIPTION == control_id::kDescription &&
              IDC_DATABASE_PATH == control_id::kDatabasePath &&
              IDC_BROWSE_DATABASE == control_id::kBrowseDatabase);
static_assert(IDC_VOICE_ACTIVITY == control_id::kVoiceActivity && IDC_SPLIT == control_id::kSplit &&
              IDC_BEST_QUALITY == control_id::kBestQuality);
static_assert(IDC_EIGHT_BITS == control_id::kEightBits && IDC_FOUR_BITS == control_id::kFourBits &&
              IDC_THREE_BITS == control_id::kThreeBits && IDC_TWO_BITS == control_id::kTwoBits);

/// The file dialogs' flags: no read-only check box, and confirmation before overwriting (which
/// only the save dialog acts on).
constexpr DWORD kFileDialogFlags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
static_assert(kFileDialogFlags == 6);

/// Posted by the worker: a progress report (wParam: permille * 4 + stage) and the run's end.
constexpr UINT kProgressMessage = WM_APP + 1;
constexpr UINT kFinishedMessage = WM_APP + 2;

/// The controls a run disables; Cancel stays, to stop it.
constexpr int kFormControls[] = {
    IDOK,
    IDC_INPUT_PATH,
    IDC_BROWSE_INPUT,
    IDC_TITLE,
    IDC_DESCRIPTION,
    IDC_DATABASE_PATH,
    IDC_BROWSE_DATABASE,
    IDC_VOICE_ACTIVITY,
    IDC_SPLIT,
    IDC_EIGHT_BITS,
    IDC_FOUR_BITS,
    IDC_THREE_BITS,
    IDC_TWO_BITS,
    IDC_BEST_QUALITY,
};

std::wstring wideFromUtf8(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    const int units =
        ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                          units);
    return wide;
}

std::string utf8FromWide(std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                            nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), bytes,
                          nullptr, nullptr);
    return out;
}

/// A control's text as UTF-8.
std::string controlText(HWND dialog, int id) {
    const HWND control = ::GetDlgItem(dialog, id);
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        ::GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return utf8FromWide(text);
}

void setControlText(HWND dialog, int id, std::string_view text) {
    ::SetDlgItemTextW(dialog, id, wideFromUtf8(text).c_str());
}

bool isChecked(HWND dialog, int id) {
    return ::IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

UINT messageBoxIcon(OutcomeIcon icon) {
    switch (icon) {
        case OutcomeIcon::Warning:
            return MB_ICONWARNING;
        case OutcomeIcon::Stop:
            return MB_ICONSTOP;
        case OutcomeIcon::Information:
            break;
    }
    return MB_ICONINFORMATION;
}

INT_PTR CALLBACK aboutProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            // The four lines under the version: what --version says, and the build's make.
            setControlText(dialog, IDC_ABOUT_LINE_1, "Turns WAVE recordings into");
            setControlText(dialog, IDC_ABOUT_LINE_2, "audio databases for Palm handhelds.");
            setControlText(dialog, IDC_ABOUT_LINE_3, "Build " ZELVIO_VERSION);
            setControlText(dialog, IDC_ABOUT_LINE_4,
                           sizeof(ZELVIO_GIT_REVISION) > 1 ? "git " ZELVIO_GIT_REVISION ", Win32"
                                                           : "Made for Win32");
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                ::EndDialog(dialog, LOWORD(wParam));
                return TRUE;
            }
            break;
        default:
            break;
    }
    return FALSE;
}

class ConverterWindow {
  public:
    ConverterWindow(HINSTANCE instance, const std::string& inputPath,
                    const std::string& databasePath)
        : instance_(instance) {
        settings_.inputPath = pathFromUtf8(inputPath);
        settings_.databasePath = pathFromUtf8(databasePath);
    }
    ~ConverterWindow() {
        if (worker_.joinable()) {
            stop_.request();
            worker_.join();
        }
    }
    ConverterWindow(const ConverterWindow&) = delete;
    ConverterWindow& operator=(const ConverterWindow&) = delete;

    static INT_PTR CALLBACK procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_INITDIALOG) {
            ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        }
        auto* window = reinterpret_cast<ConverterWindow*>(::GetWindowLongPtrW(dialog, DWLP_USER));
        return window != nullptr ? window->handle(dialog, message, wParam, lParam) : FALSE;
    }

  private:
    INT_PTR handle(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    void initialise(HWND dialog);
    void command(int id, int notification);
    void close();
    bool systemCommand(WPARAM command);
    bool paintMinimised();
    void dropFiles(HDROP drop);

    FormFields fields() const;
    void browseInput();
    void browseDatabase();
    void offerBestQualityForAdpcm();
    void setControlsEnabled(bool enabled);

    void startConversion();
    void showProgress(double fraction, ConversionStage stage);
    void finishConversion();
    void stopConversion();

    HINSTANCE instance_;
    HWND dialog_ = nullptr;
    HICON icon_ = nullptr;       ///< icon 128 at the system's large size
    HICON smallIcon_ = nullptr;  ///< and at its small size
    ConversionSettings settings_;
    DatabaseNameSuggester suggester_;

    std::thread worker_;
    StopToken stop_;
    ConversionOutcome outcome_;  ///< written by the worker, read once it has ended
    bool stopping_ = false;
    std::atomic<int> reportedState_{-1};
    std::chrono::steady_clock::time_point started_;
};

INT_PTR ConverterWindow::handle(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            initialise(dialog);
            return TRUE;  // the system puts the focus on the first tab stop, OK
        case WM_COMMAND:
            command(LOWORD(wParam), HIWORD(wParam));
            return TRUE;
        case WM_CLOSE:
            close();
            return TRUE;
        case WM_SYSCOMMAND:
            return systemCommand(wParam) ? TRUE : FALSE;
        case WM_PAINT:
            return paintMinimised() ? TRUE : FALSE;
        case WM_DROPFILES:
            dropFiles(reinterpret_cast<HDROP>(wParam));
            return TRUE;
        case WM_QUERYDRAGICON:
            return reinterpret_cast<INT_PTR>(icon_);
        case WM_SETCURSOR:
            if (worker_.joinable()) {
                // Busy, but the window still answers: the arrow with the hourglass.
                ::SetCursor(::LoadCursorW(nullptr, IDC_APPSTARTING));
                ::SetWindowLongPtrW(dialog_, DWLP_MSGRESULT, TRUE);
                return TRUE;
            }
            return FALSE;
        case kProgressMessage: {
            const int state = static_cast<int>(wParam);
            showProgress((state / 4) / 1000.0, static_cast<ConversionStage>(state % 4));
            return TRUE;
        }
        case kFinishedMessage:
            finishConversion();
            return TRUE;
        case WM_DESTROY:
            // The classic program told WinHelp to close its help here; Windows has no WinHelp
            // any more, and this program has no help file.
            if (icon_ != nullptr) {
                ::DestroyIcon(icon_);
            }
            if (smallIcon_ != nullptr) {
                ::DestroyIcon(smallIcon_);
            }
            return FALSE;
        default:
            return FALSE;
    }
}

void ConverterWindow::initialise(HWND dialog) {
    dialog_ = dialog;
    // The about entry at the end of the system menu, after a separator.
    if (const HMENU menu = ::GetSystemMenu(dialog_, FALSE)) {
        wchar_t text[128] = {};
        if (::LoadStringW(instance_, IDS_ABOUTBOX, text, 128) > 0) {
            ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            ::AppendMenuW(menu, MF_STRING, IDM_ABOUTBOX, text);
        }
    }
    icon_ = static_cast<HICON>(::LoadImageW(instance_, MAKEINTRESOURCEW(IDI_ZELVIO), IMAGE_ICON,
                                            ::GetSystemMetrics(SM_CXICON),
                                            ::GetSystemMetrics(SM_CYICON), 0));
    smallIcon_ = static_cast<HICON>(::LoadImageW(instance_, MAKEINTRESOURCEW(IDI_ZELVIO),
                                                 IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
                                                 ::GetSystemMetrics(SM_CYSMICON), 0));
    ::SendMessageW(dialog_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    ::SendMessageW(dialog_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));

    ::CheckRadioButton(dialog_, IDC_EIGHT_BITS, IDC_TWO_BITS, IDC_EIGHT_BITS);
    // The input first: its change suggests a database name, which a given one then replaces.
    setControlText(dialog_, IDC_INPUT_PATH, utf8FromPath(settings_.inputPath));
    if (!settings_.databasePath.empty()) {
        setControlText(dialog_, IDC_DATABASE_PATH, utf8FromPath(settings_.databasePath));
    }
    setControlText(dialog_, IDC_TITLE, settings_.title);
    setControlText(dialog_, IDC_DESCRIPTION, settings_.description);
    ::CheckDlgButton(dialog_, IDC_VOICE_ACTIVITY,
                     settings_.voiceActivityDetection ? BST_CHECKED : BST_UNCHECKED);
    ::SendDlgItemMessageW(dialog_, IDC_PROGRESS, PBM_SETRANGE32, 0, 1000);
    offerBestQualityForAdpcm();
    ::DragAcceptFiles(dialog_, TRUE);
}

void ConverterWindow::command(int id, int notification) {
    switch (id) {
        case IDOK:
            startConversion();
            break;
        case IDCANCEL:  // the button and Escape
            if (worker_.joinable()) {
                stopConversion();
            } else {
                ::EndDialog(dialog_, IDCANCEL);
            }
            break;
        case IDC_BROWSE_INPUT:
            browseInput();
            break;
        case IDC_BROWSE_DATABASE:
            browseDatabase();
            break;
        case IDC_INPUT_PATH:
            if (notification == EN_CHANGE) {
                // The database name follows the input until the user types one of their own.
                if (const auto suggestion =
                        suggester_.inputChanged(controlText(dialog_, IDC_INPUT_PATH),
                                                controlText(dialog_, IDC_DATABASE_PATH))) {
                    setControlText(dialog_, IDC_DATABASE_PATH, *suggestion);
                }
            }
            break;
        case IDC_EIGHT_BITS:
        case IDC_FOUR_BITS:
        case IDC_THREE_BITS:
        case IDC_TWO_BITS:
            offerBestQualityForAdpcm();
            break;
        default:
            break;
    }
}

void ConverterWindow::close() {
    if (!worker_.joinable()) {
        ::EndDialog(dialog_, IDCANCEL);
        return;
    }
    // Closing the window abandons the conversion: ask first; the window closes once the run
    // has stopped.
    if (!stopping_ && ::MessageBoxW(dialog_, L"A conversion is running. Stop it and close?",
                                    L"Zelvio Converter", MB_YESNO | MB_ICONQUESTION) == IDYES) {
        stopConversion();
    }
}

bool ConverterWindow::systemCommand(WPARAM command) {
    if ((command & 0xFFF0) != IDM_ABOUTBOX) {
        return false;  // move, close and the like: the system's own handling
    }
    ::DialogBoxParamW(instance_, MAKEINTRESOURCEW(IDD_ABOUTBOX), dialog_, aboutProcedure, 0);
    return true;
}

bool ConverterWindow::paintMinimised() {
    if (!::IsIconic(dialog_)) {
        return false;
    }
    PAINTSTRUCT paint{};
    const HDC context = ::BeginPaint(dialog_, &paint);
    ::SendMessageW(dialog_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(context), 0);
    RECT client{};
    ::GetClientRect(dialog_, &client);
    const int width = ::GetSystemMetrics(SM_CXICON);
    const int height = ::GetSystemMetrics(SM_CYICON);
    ::DrawIcon(context, (client.right - client.left - width + 1) / 2,
               (client.bottom - client.top - height + 1) / 2, icon_);
    ::EndPaint(dialog_, &paint);
    return true;
}

void ConverterWindow::dropFiles(HDROP drop) {
    // The first file dropped; none while a conversion runs.
    if (!worker_.joinable() && ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) > 0) {
        std::wstring path(static_cast<std::size_t>(::DragQueryFileW(drop, 0, nullptr, 0)) + 1,
                          L'\0');
        path.resize(::DragQueryFileW(drop, 0, path.data(), static_cast<UINT>(path.size())));
        ::SetDlgItemTextW(dialog_, isDatabaseName(path) ? IDC_DATABASE_PATH : IDC_INPUT_PATH,
                          path.c_str());
    }
    ::DragFinish(drop);
}

FormFields ConverterWindow::fields() const {
    FormFields fields;
    fields.inputPath = controlText(dialog_, IDC_INPUT_PATH);
    fields.databasePath = controlText(dialog_, IDC_DATABASE_PATH);
    fields.title = controlText(dialog_, IDC_TITLE);
    fields.description = controlText(dialog_, IDC_DESCRIPTION);
    fields.checkedModeId = 0;
    for (const CompressionMode& mode : kCompressionModes) {
        if (isChecked(dialog_, mode.id)) {
            fields.checkedModeId = mode.id;
        }
    }
    fields.voiceActivityDetection = isChecked(dialog_, IDC_VOICE_ACTIVITY);
    fields.bestQuality = isChecked(dialog_, IDC_BEST_QUALITY) &&
                         ::IsWindowEnabled(::GetDlgItem(dialog_, IDC_BEST_QUALITY));
    fields.split = isChecked(dialog_, IDC_SPLIT);
    return fields;
}

/// Shows the common open (or save) dialog for the path in the field fieldId, opening in the
/// folder of what the field holds, else where the system likes. Returns the chosen path, or an
/// empty one when the user cancels. No default extension: a name is taken as typed.
std::wstring chooseFile(HWND owner, int fieldId, const wchar_t* filter, bool save) {
    const std::wstring folder = wideFromUtf8(browseFolder(controlText(owner, fieldId), ""));
    std::wstring file(MAX_PATH * 8, L'\0');
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    dialog.Flags = kFileDialogFlags;
    const BOOL chosen = save ? ::GetSaveFileNameW(&dialog) : ::GetOpenFileNameW(&dialog);
    return chosen != 0 ? std::wstring(file.c_str()) : std::wstring();
}

void ConverterWindow::browseInput() {
    if (const std::wstring file =
            chooseFile(dialog_, IDC_INPUT_PATH, L"WAVE files\0*.wav\0", false);
        !file.empty()) {
        settings_.inputPath = file;
        ::SetDlgItemTextW(dialog_, IDC_INPUT_PATH, file.c_str());
    }
}

void ConverterWindow::browseDatabase() {
    if (const std::wstring file =
            chooseFile(dialog_, IDC_DATABASE_PATH, L"Palm database files\0*.pdb\0", true);
        !file.empty()) {
        settings_.databasePath = file;
        ::SetDlgItemTextW(dialog_, IDC_DATABASE_PATH, file.c_str());
    }
}

void ConverterWindow::offerBestQualityForAdpcm() {
    // The search encoder chooses ADPCM codes: 8-bit PCM has nothing to choose.
    ::EnableWindow(::GetDlgItem(dialog_, IDC_BEST_QUALITY),
                   isChecked(dialog_, IDC_EIGHT_BITS) ? FALSE : TRUE);
}

void ConverterWindow::setControlsEnabled(bool enabled) {
    for (const int id : kFormControls) {
        ::EnableWindow(::GetDlgItem(dialog_, id), enabled ? TRUE : FALSE);
    }
    if (enabled) {
        offerBestQualityForAdpcm();
    }
}

void ConverterWindow::startConversion() {
    if (worker_.joinable()) {
        return;
    }
    settings_ = settingsFromFields(fields());
    stop_.reset();
    stopping_ = false;
    settings_.stop = &stop_;
    setControlsEnabled(false);
    ::SetFocus(::GetDlgItem(dialog_, IDCANCEL));
    ::ShowWindow(::GetDlgItem(dialog_, IDC_PROGRESS), SW_SHOW);
    ::ShowWindow(::GetDlgItem(dialog_, IDC_PROGRESS_TEXT), SW_SHOW);
    started_ = std::chrono::steady_clock::now();
    reportedState_ = -1;
    showProgress(0.0, ConversionStage::Reading);

    const HWND dialog = dialog_;
    worker_ = std::thread([this, dialog, settings = settings_] {
        ConversionJob job(settings, [this, dialog](double fraction, ConversionStage stage) {
            // Only changes of a tenth of a percent or of the stage are posted, so the queue
            // holds at most a few thousand reports for the whole run.
            const int permille = static_cast<int>(fraction * 1000.0);
            const int state = permille * 4 + static_cast<int>(stage);
            if (reportedState_.exchange(state) != state) {
                ::PostMessageW(dialog, kProgressMessage, static_cast<WPARAM>(state), 0);
            }
        });
        outcome_ = job.run();
        ::PostMessageW(dialog, kFinishedMessage, 0, 0);
    });
}

void ConverterWindow::showProgress(double fraction, ConversionStage stage) {
    if (stopping_) {
        return;
    }
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started_);
    const ProgressView view = progressView(fraction, stage, elapsed);
    ::SendDlgItemMessageW(dialog_, IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(view.permille), 0);
    setControlText(dialog_, IDC_PROGRESS_TEXT, view.text);
}

void ConverterWindow::finishConversion() {
    worker_.join();
    if (outcome_.kind == OutcomeKind::Cancelled) {
        // Stopped on request: nothing was written, and there is nothing to tell.
        ::EndDialog(dialog_, IDCANCEL);
        return;
    }
    if (!outcome_.failed()) {  // a failed run's bar stays where it stopped
        showProgress(1.0, ConversionStage::Saving);
    }
    const OutcomeMessage message = outcomeMessage(settings_, outcome_);
    std::string text = message.text;
    if (!message.detail.empty()) {
        text += "\n\n" + message.detail;
    }
    ::MessageBoxW(dialog_, wideFromUtf8(text).c_str(), wideFromUtf8(message.caption).c_str(),
                  MB_OK | messageBoxIcon(message.icon));
    ::EndDialog(dialog_, IDOK);
}

void ConverterWindow::stopConversion() {
    stopping_ = true;
    stop_.request();
    ::SetDlgItemTextW(dialog_, IDC_PROGRESS_TEXT, L"Stopping...");
}

}  // namespace

bool isDatabaseName(const std::wstring& path) {
    if (path.size() < 4) {
        return false;
    }
    std::wstring extension = path.substr(path.size() - 4);
    for (wchar_t& c : extension) {
        c = static_cast<wchar_t>(std::towlower(c));
    }
    return extension == L".pdb";
}

INT_PTR runConverterDialog(HINSTANCE instance, const std::string& inputPath,
                           const std::string& databasePath) {
    ConverterWindow window(instance, inputPath, databasePath);
    return ::DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_CONVERTER), nullptr,
                             ConverterWindow::procedure, reinterpret_cast<LPARAM>(&window));
}

}  // namespace zelvio::win32
