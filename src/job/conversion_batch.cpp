#include "job/conversion_batch.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <system_error>
#ifndef ZELVIO_NO_THREADS
#include <thread>
#endif

#include "resample/thread_pool.h"

namespace zelvio {
namespace {

ConversionOutcome notBegun() {
    ConversionOutcome outcome;
    outcome.kind = OutcomeKind::Cancelled;
    outcome.message = kCancelledText;
    outcome.caption = kCancelledCaption;
    return outcome;
}

}  // namespace

BatchShape batchShape(std::size_t runCount, const BatchOptions& options) {
    const unsigned cores = defaultThreadCount();
    const unsigned budget = std::min(options.threads == 0 ? cores : options.threads, kMaxThreads);
    unsigned jobs = options.jobs == 0 ? cores : options.jobs;
    jobs = static_cast<unsigned>(std::clamp<std::size_t>(runCount, 1, jobs));
    if (!threadsAvailable()) {
        jobs = 1;
    }
    return {jobs, std::max(1u, budget / jobs)};
}

std::vector<ConversionOutcome> runBatch(const std::vector<ConversionSettings>& runs,
                                        const BatchOptions& options,
                                        const BatchFinished& finished) {
    const BatchShape shape = batchShape(runs.size(), options);
    std::vector<ConversionOutcome> outcomes(runs.size());
    std::atomic<std::size_t> nextRun{0};
    std::mutex reporting;
    const auto work = [&] {
        for (std::size_t run = nextRun++; run < runs.size(); run = nextRun++) {
            ConversionOutcome outcome;
            if (options.stop != nullptr && options.stop->requested()) {
                outcome = notBegun();
            } else {
                ConversionSettings settings = runs[run];
                settings.threads = shape.threadsPerJob;
                settings.stop = options.stop;
                outcome = ConversionJob(std::move(settings)).run();
            }
            const std::lock_guard lock(reporting);
            outcomes[run] = std::move(outcome);
            if (finished) {
                finished(run, outcomes[run]);
            }
        }
    };
#ifndef ZELVIO_NO_THREADS
    std::vector<std::thread> workers;
    for (unsigned job = 1; job < shape.jobs; ++job) {
        try {
            workers.emplace_back(work);
        } catch (const std::system_error&) {
            break;  // the system refused another thread: work with those there are
        }
    }
    work();
    for (std::thread& worker : workers) {
        worker.join();
    }
#else
    work();
#endif
    return outcomes;
}

}  // namespace zelvio
