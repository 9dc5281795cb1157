#pragma once
// Many conversions at once: each input to its own database, a few running side by side over the
// processor's cores.
//
//   std::vector<ConversionSettings> runs = ...;      // one for each input
//   StopToken stop;                                  // request() stops every run
//   BatchOptions options{.jobs = 2, .stop = &stop};
//   std::vector<ConversionOutcome> outcomes =
//       runBatch(runs, options, [](std::size_t run, const ConversionOutcome& outcome) { ... });
//
// Every run is a ConversionJob of its own, so every database is the one that run alone writes,
// byte for byte, and a run that fails leaves the others alone.

#include <cstddef>
#include <functional>
#include <vector>

#include "job/conversion_job.h"
#include "job/stop_token.h"

namespace zelvio {

/// How a batch runs.
struct BatchOptions {
    /// Conversions at once: 0 as many as the processor has threads (at most 8), never more than
    /// there are runs. A build without threads runs one after the other.
    unsigned jobs = 0;
    /// Threads the whole batch may use, shared out evenly between the conversions running at
    /// once (each gets at least one): 0 all the processor's (at most 8). This replaces each
    /// run's own ConversionSettings::threads, so that the machine is not oversubscribed.
    unsigned threads = 0;
    /// When not null, request() stops the batch: running conversions end Cancelled (writing
    /// nothing), runs not begun yet are not begun and end Cancelled too, and databases already
    /// saved stay. Replaces each run's own ConversionSettings::stop. Must outlive runBatch().
    StopToken* stop = nullptr;
};

/// Called once a run has ended, with its index in the batch and its outcome: from the thread
/// that ran it, one call at a time, in the order the runs end.
using BatchFinished = std::function<void(std::size_t run, const ConversionOutcome& outcome)>;

/// The conversions at once and the threads each gets, for runCount runs under options.
struct BatchShape {
    unsigned jobs = 1;
    unsigned threadsPerJob = 1;
};
[[nodiscard]] BatchShape batchShape(std::size_t runCount, const BatchOptions& options);

/// Runs every conversion of runs, options.jobs at a time, and returns their outcomes in the
/// order of runs. Blocking.
[[nodiscard]] std::vector<ConversionOutcome> runBatch(const std::vector<ConversionSettings>& runs,
                                                      const BatchOptions& options,
                                                      const BatchFinished& finished = {});

}  // namespace zelvio
