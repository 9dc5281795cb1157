#pragma once
// A seam for tests that make file operations fail: every opening, read, write, sync and rename of
// the io room and of the input readers first asks injectedFault(). In normal use nothing is armed
// and the question costs one atomic increment.
//
//     FaultInjection::failAt(7);          // the 7th operation from now fails
//     run();                              // ... and must end with the right outcome
//     FaultInjection::failAt(0);          // disarmed; operationsSeen() counts on

#include <atomic>
#include <cstdint>
#include <system_error>

namespace zelvio {

/// The kinds of file operation that can be made to fail.
enum class FileOperation : std::uint8_t { Open, Read, Write, Sync, Publish };

class FaultInjection {
  public:
    /// Arms the n-th operation from now to fail (1: the next), and every one after it when
    /// sticky is true (a disk that stays full); 0 disarms. Restarts the count.
    static void failAt(std::uint64_t n, bool sticky = false) noexcept;
    /// Operations asked about since the last failAt().
    [[nodiscard]] static std::uint64_t operationsSeen() noexcept;
    /// Operations that were made to fail since the last failAt().
    [[nodiscard]] static std::uint64_t faultsInjected() noexcept;
};

/// Asked by each file operation before it runs: true when it must fail, with error set to the
/// reason it fails with (no space for writes and syncs, an I/O error otherwise).
[[nodiscard]] bool injectedFault(FileOperation operation, std::error_code& error) noexcept;

}  // namespace zelvio
