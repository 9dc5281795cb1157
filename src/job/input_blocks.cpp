// The input's mono blocks, read on the calling thread or ahead on a thread of its own.
#include "job/stages.h"

#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__) && !defined(ZELVIO_NO_THREADS)
#define ZELVIO_NO_THREADS 1
#endif

#ifndef ZELVIO_NO_THREADS
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#endif

namespace zelvio {

#ifndef ZELVIO_NO_THREADS

// A ring of blocks between the reader thread, which fills them in order, and the stages, which
// take them in order. The reader waits while every block is filled and not yet taken; the block
// the stages hold stays theirs until they ask for the next one.
struct InputBlocks::ReadAhead {
    struct Slot {
        std::vector<std::int16_t> samples;
        bool ended = false;
        StageResult error;
    };

    std::array<Slot, kReadAheadBlocks> slots;
    std::size_t filled = 0;  // slots the reader has handed over, counted from the start
    std::size_t taken = 0;   // slots the stages have asked for, counted from the start
    bool quit = false;       // the stages want no more
    std::mutex mutex;
    std::condition_variable changed;
    std::thread thread;

    void read(InputReader& reader, const StopToken& stop) {
        for (std::size_t index = 0;; ++index) {
            {
                // Slot index may be refilled once the stages have moved past it: they hold
                // slot taken - 1 until their next call, so at most kReadAheadBlocks - 1 are ahead.
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return quit || index < taken + kReadAheadBlocks - 1; });
                if (quit) {
                    return;
                }
            }
            Slot& slot = slots[index % kReadAheadBlocks];
            slot.ended = false;
            slot.error.reset();
            if (stop.requested()) {
                slot.error = cancelledError();
            } else {
                slot.error = reader.read(slot.samples, slot.ended);
            }
            const bool last = slot.ended || slot.error.has_value();
            {
                std::lock_guard lock(mutex);
                filled = index + 1;
            }
            changed.notify_all();
            if (last) {
                return;
            }
        }
    }
};

InputBlocks::InputBlocks(InputReader& reader, const StopToken& stop, bool readAhead)
    : reader_(reader), stop_(stop) {
    if (!readAhead) {
        return;
    }
    auto ahead = std::make_unique<ReadAhead>();
    for (ReadAhead::Slot& slot : ahead->slots) {
        slot.samples.reserve(kInputBlockFrames);
    }
    try {
        ahead->thread = std::thread([a = ahead.get(), &reader, &stop] { a->read(reader, stop); });
    } catch (const std::system_error&) {
        return;  // read on the calling thread instead
    }
    ahead_ = std::move(ahead);
}

InputBlocks::~InputBlocks() {
    stop();
}

void InputBlocks::stop() {
    if (!ahead_) {
        return;
    }
    {
        std::lock_guard lock(ahead_->mutex);
        ahead_->quit = true;
    }
    ahead_->changed.notify_all();
    ahead_->thread.join();
    ahead_.reset();
}

StageResult InputBlocks::next(MonoBlock& block) {
    if (stop_.requested()) {
        return cancelledError();
    }
    if (!ahead_) {
        StageResult error = reader_.read(block_, block.ended);
        block.samples = block_;
        return error;
    }
    ReadAhead& a = *ahead_;
    std::size_t index = 0;
    {
        std::unique_lock lock(a.mutex);
        index = a.taken;
        a.changed.wait(lock, [&] { return a.filled > index; });
        a.taken = index + 1;
    }
    a.changed.notify_all();  // the slot before this one is free again
    ReadAhead::Slot& slot = a.slots[index % kReadAheadBlocks];
    block.samples = slot.samples;
    block.ended = slot.ended;
    return slot.error;
}

#else

struct InputBlocks::ReadAhead {};

InputBlocks::InputBlocks(InputReader& reader, const StopToken& stop, bool)
    : reader_(reader), stop_(stop) {}

InputBlocks::~InputBlocks() = default;

void InputBlocks::stop() {}

StageResult InputBlocks::next(MonoBlock& block) {
    if (stop_.requested()) {
        return cancelledError();
    }
    StageResult error = reader_.read(block_, block.ended);
    block.samples = block_;
    return error;
}

#endif

}  // namespace zelvio
