#include "resample/thread_pool.h"

#include <algorithm>

#ifndef ZELVIO_NO_THREADS
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>
#endif

namespace zelvio {

#ifndef ZELVIO_NO_THREADS

struct ThreadPool::Workers {
    std::mutex mutex;
    std::condition_variable wake;      // a run started, or the pool is closing
    std::condition_variable finished;  // the last worker left the current run
    std::vector<std::thread> threads;
    const std::function<void(std::size_t)>* task = nullptr;
    std::size_t parts = 0;
    std::atomic<std::size_t> nextPart{0};
    std::size_t busy = 0;  // workers that have not yet left the current run
    std::uint64_t generation = 0;
    bool closing = false;

    // Takes parts until none are left.
    void work(const std::function<void(std::size_t)>& job, std::size_t count) {
        for (std::size_t part = nextPart.fetch_add(1); part < count; part = nextPart.fetch_add(1)) {
            job(part);
        }
    }

    void loop() {
        std::uint64_t seen = 0;
        std::unique_lock lock(mutex);
        for (;;) {
            wake.wait(lock, [&] { return closing || generation != seen; });
            if (closing) {
                return;
            }
            seen = generation;
            const std::function<void(std::size_t)>& job = *task;
            const std::size_t count = parts;
            lock.unlock();
            work(job, count);
            lock.lock();
            if (--busy == 0) {
                finished.notify_one();
            }
        }
    }
};

bool threadsAvailable() {
    return true;
}

unsigned defaultThreadCount() {
    return std::clamp(std::thread::hardware_concurrency(), 1u, kDefaultThreadCap);
}

ThreadPool::ThreadPool(unsigned threadCount) {
    const unsigned wanted =
        std::min(threadCount == 0 ? defaultThreadCount() : threadCount, kMaxThreads);
    if (wanted <= 1) {
        return;
    }
    workers_ = std::make_unique<Workers>();
    for (unsigned i = 1; i < wanted; ++i) {
        try {
            workers_->threads.emplace_back([w = workers_.get()] { w->loop(); });
        } catch (const std::system_error&) {
            break;  // run with the threads already started
        }
    }
}

ThreadPool::~ThreadPool() {
    if (!workers_) {
        return;
    }
    {
        std::lock_guard lock(workers_->mutex);
        workers_->closing = true;
    }
    workers_->wake.notify_all();
    for (std::thread& thread : workers_->threads) {
        thread.join();
    }
}

unsigned ThreadPool::threadCount() const {
    return workers_ ? static_cast<unsigned>(workers_->threads.size()) + 1 : 1;
}

void ThreadPool::run(std::size_t parts, const std::function<void(std::size_t)>& task) {
    if (!workers_ || workers_->threads.empty() || parts <= 1) {
        for (std::size_t part = 0; part < parts; ++part) {
            task(part);
        }
        return;
    }
    Workers& w = *workers_;
    {
        std::lock_guard lock(w.mutex);
        w.task = &task;
        w.parts = parts;
        w.nextPart.store(0);
        w.busy = w.threads.size();
        ++w.generation;
    }
    w.wake.notify_all();
    w.work(task, parts);
    std::unique_lock lock(w.mutex);
    w.finished.wait(lock, [&] { return w.busy == 0; });
}

#else

struct ThreadPool::Workers {};

bool threadsAvailable() {
    return false;
}

unsigned defaultThreadCount() {
    return 1;
}

ThreadPool::ThreadPool(unsigned) {}

ThreadPool::~ThreadPool() = default;

unsigned ThreadPool::threadCount() const {
    return 1;
}

void ThreadPool::run(std::size_t parts, const std::function<void(std::size_t)>& task) {
    for (std::size_t part = 0; part < parts; ++part) {
        task(part);
    }
}

#endif

}  // namespace zelvio
