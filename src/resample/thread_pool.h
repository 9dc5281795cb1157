// A small pool of worker threads that runs the parts of one job at a time.
//
//     ThreadPool pool;                                // defaultThreadCount() threads
//     pool.run(parts, [&](std::size_t part) { ... });  // returns when every part is done
//
// The calling thread works on the parts too, so a pool of one thread starts no worker at all and
// runs the parts in order. Builds without thread support (the CMake option ZELVIO_THREADS off, or
// a platform without std::thread) have the same interface and always run on the caller's thread.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>

// Builds without threads: ZELVIO_NO_THREADS (the ZELVIO_THREADS=OFF option), and WebAssembly
// built without pthreads. The pool and the stages then run everything on the calling thread.
#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__) && !defined(ZELVIO_NO_THREADS)
#define ZELVIO_NO_THREADS 1
#endif

namespace zelvio {

// The most threads a pool starts by default: beyond this the resampler's memory traffic, not its
// arithmetic, sets the pace.
inline constexpr unsigned kDefaultThreadCap = 8;
// The most threads any pool runs.
inline constexpr unsigned kMaxThreads = 64;

// Whether this build can start threads at all.
[[nodiscard]] bool threadsAvailable();

// The processor's hardware threads, at least 1 and at most kDefaultThreadCap; 1 without thread
// support.
[[nodiscard]] unsigned defaultThreadCount();

class ThreadPool {
  public:
    // threadCount: threads working on each run, the caller's included; 0 means
    // defaultThreadCount(), values above kMaxThreads are lowered to it. Should the system refuse
    // to start a thread, the pool works with those it has.
    explicit ThreadPool(unsigned threadCount = 0);
    ~ThreadPool();
    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

    // Threads working on each run, the caller's included.
    [[nodiscard]] unsigned threadCount() const;

    // Calls task(part) once for every part in [0, parts), spread over the threads, and returns
    // when all calls have returned. The task must not throw. One run at a time per pool.
    void run(std::size_t parts, const std::function<void(std::size_t)>& task);

  private:
    struct Workers;
    std::unique_ptr<Workers> workers_;
};

}  // namespace zelvio
