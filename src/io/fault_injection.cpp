#include "io/fault_injection.h"

#include <cerrno>

namespace zelvio {
namespace {

std::atomic<std::uint64_t> seen{0};
std::atomic<std::uint64_t> target{0};
std::atomic<std::uint64_t> injected{0};
std::atomic<bool> stickyFaults{false};

}  // namespace

void FaultInjection::failAt(std::uint64_t n, bool sticky) noexcept {
    target.store(0, std::memory_order_relaxed);
    seen.store(0, std::memory_order_relaxed);
    injected.store(0, std::memory_order_relaxed);
    stickyFaults.store(sticky, std::memory_order_relaxed);
    target.store(n, std::memory_order_release);
}

std::uint64_t FaultInjection::operationsSeen() noexcept {
    return seen.load(std::memory_order_relaxed);
}

std::uint64_t FaultInjection::faultsInjected() noexcept {
    return injected.load(std::memory_order_relaxed);
}

bool injectedFault(FileOperation operation, std::error_code& error) noexcept {
    const std::uint64_t count = seen.fetch_add(1, std::memory_order_relaxed) + 1;
    const std::uint64_t armed = target.load(std::memory_order_acquire);
    if (armed == 0 || count < armed ||
        (count > armed && !stickyFaults.load(std::memory_order_relaxed))) {
        return false;
    }
    injected.fetch_add(1, std::memory_order_relaxed);
    const bool full = operation == FileOperation::Write || operation == FileOperation::Sync;
    error = std::make_error_code(full ? std::errc::no_space_on_device : std::errc::io_error);
    return true;
}

}  // namespace zelvio
