#include <windows.h>

#include "cli/stop_signals.h"

namespace zelvio::cli {
namespace {

/// The handler runs on a thread of its own that the system starts; it only stores.
StopToken stopBySignal;
volatile std::sig_atomic_t stopSignal = 0;

/// How long closing the console window waits for the work to remove its temporary output; the
/// system ends the process when the handler returns (and after five seconds in any case).
constexpr DWORD kCloseGraceMilliseconds = 4000;

BOOL WINAPI onConsoleEvent(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            stopSignal = SIGINT;
            stopBySignal.request();
            return TRUE;
        case CTRL_CLOSE_EVENT:
            stopSignal = SIGINT;
            stopBySignal.request();
            // The main thread cleans up and ends the process meanwhile.
            ::Sleep(kCloseGraceMilliseconds);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

StopToken& signalStopToken() {
    return stopBySignal;
}

int stoppedExitStatus() {
    return 128 + (stopSignal != 0 ? static_cast<int>(stopSignal) : SIGINT);
}

// The console's handler list is a stack: removing ours leaves the earlier ones in place.
StopOnSignals::StopOnSignals() : previousInterrupt_(nullptr), previousTerminate_(nullptr) {
    ::SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

StopOnSignals::~StopOnSignals() {
    ::SetConsoleCtrlHandler(onConsoleEvent, FALSE);
}

}  // namespace zelvio::cli
