#pragma once
// Stopping a running conversion from outside: a front end keeps a StopToken, hands its address to
// the job (ConversionSettings::stop) and calls request() when the user cancels, from any thread or
// from a signal handler. The job looks at the token at least once per block of input (a few
// milliseconds of work) and ends with OutcomeKind::Cancelled, having written nothing.
//
//     StopToken stop;                            // outlives the run
//     settings.stop = &stop;
//     std::thread worker([&] { outcome = ConversionJob(settings).run(); });
//     ...
//     stop.request();                            // e.g. from the Cancel button's handler
//     worker.join();                             // outcome.kind == OutcomeKind::Cancelled

#include <atomic>

namespace zelvio {

/// A request to stop, set once and read often. Every operation is a single access to a lock-free
/// atomic, so request() may be called from a signal handler.
class StopToken {
  public:
    /// Asks the run that holds this token to stop.
    void request() noexcept { requested_.store(true, std::memory_order_relaxed); }
    /// True once request() was called (and reset() was not called since).
    [[nodiscard]] bool requested() const noexcept {
        return requested_.load(std::memory_order_relaxed);
    }
    /// Withdraws a request, so that the token can serve another run.
    void reset() noexcept { requested_.store(false, std::memory_order_relaxed); }

  private:
    static_assert(std::atomic<bool>::is_always_lock_free,
                  "a stop request must be a lock-free store to be made from a signal handler");
    std::atomic<bool> requested_{false};
};

}  // namespace zelvio
