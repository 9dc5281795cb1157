#pragma once
// SIGINT and SIGTERM as a request to stop: while a StopOnSignals lives, either signal only sets
// the command's StopToken (and notes which signal it was), and the running work stops cleanly,
// removing its temporary output, instead of the process ending mid-write. On Windows the same
// holds for Ctrl-C, Ctrl-Break and the closing of the console window, which arrive through
// SetConsoleCtrlHandler (stop_signals_win32.cpp; stop_signals.cpp elsewhere) and count as SIGINT.

#include <csignal>

#include "job/stop_token.h"

namespace zelvio::cli {

/// The token the handler sets; work started under a StopOnSignals polls it.
[[nodiscard]] StopToken& signalStopToken();

/// The exit status for work stopped by a signal: 128 + its number (130 for SIGINT, 143 for
/// SIGTERM); 130 when the stop came some other way.
[[nodiscard]] int stoppedExitStatus();

/// While it lives, SIGINT and SIGTERM (on Windows the console's stop events) stop the work
/// instead of ending the process; the handlers found before are put back after.
class StopOnSignals {
  public:
    StopOnSignals();
    ~StopOnSignals();
    StopOnSignals(const StopOnSignals&) = delete;
    StopOnSignals& operator=(const StopOnSignals&) = delete;

  private:
    using Handler = void (*)(int);
    Handler previousInterrupt_;
    Handler previousTerminate_;
};

}  // namespace zelvio::cli
