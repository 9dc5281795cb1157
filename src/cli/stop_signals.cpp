#include "cli/stop_signals.h"

namespace zelvio::cli {
namespace {

/// The handler only stores: into the token's lock-free flag and a sig_atomic_t.
StopToken stopBySignal;
volatile std::sig_atomic_t stopSignal = 0;

extern "C" void onStopSignal(int signal) {
    stopSignal = signal;
    stopBySignal.request();
}

}  // namespace

StopToken& signalStopToken() {
    return stopBySignal;
}

int stoppedExitStatus() {
    return 128 + (stopSignal != 0 ? static_cast<int>(stopSignal) : SIGINT);
}

StopOnSignals::StopOnSignals()
    : previousInterrupt_(std::signal(SIGINT, onStopSignal)),
      previousTerminate_(std::signal(SIGTERM, onStopSignal)) {}

StopOnSignals::~StopOnSignals() {
    std::signal(SIGINT, previousInterrupt_ == SIG_ERR ? SIG_DFL : previousInterrupt_);
    std::signal(SIGTERM, previousTerminate_ == SIG_ERR ? SIG_DFL : previousTerminate_);
}

}  // namespace zelvio::cli
