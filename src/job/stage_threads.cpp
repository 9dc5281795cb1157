// The stages that may run on threads of their own: reading the input ahead (InputBlocks) and
// coding Frames while the next batch is resampled (FrameStage). Without threads both run on the
// calling thread, with the same results.
#include "job/stages.h"

#ifndef ZELVIO_NO_THREADS
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>
#endif

namespace zelvio {

#ifndef ZELVIO_NO_THREADS
namespace {

/// Slots of samples handed from one thread to another in order, at most a fixed number at a
/// time. The writer fills the slot beginWrite() gives and publishes it with endWrite(); the reader
/// uses the slot beginRead() gives and frees it with endRead(). close() gives up: every wait ends
/// and returns null, on either side.
class SlotQueue {
  public:
    struct Slot {
        std::vector<std::int16_t> samples;
        bool last = false;  ///< nothing follows this slot
        StageResult error;  ///< the writer failed; nothing follows either
    };

    SlotQueue(std::size_t slots, std::size_t reserve) : slots_(slots) {
        for (Slot& slot : slots_) {
            slot.samples.reserve(reserve);
        }
    }

    Slot* beginWrite() {
        std::unique_lock lock(mutex_);
        if (written_ - read_ == slots_.size()) {
            // Full: wait until half the slots are free again, so that the writer runs in longer
            // stretches rather than waking for every slot the reader frees.
            changed_.wait(lock, [&] { return closed_ || written_ - read_ <= slots_.size() / 2; });
        }
        return closed_ ? nullptr : &slots_[written_ % slots_.size()];
    }
    void endWrite() {
        {
            std::lock_guard lock(mutex_);
            ++written_;
        }
        changed_.notify_all();
    }
    Slot* beginRead() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return closed_ || read_ < written_; });
        return closed_ ? nullptr : &slots_[read_ % slots_.size()];
    }
    void endRead() {
        {
            std::lock_guard lock(mutex_);
            ++read_;
        }
        changed_.notify_all();
    }
    void close() {
        {
            std::lock_guard lock(mutex_);
            closed_ = true;
        }
        changed_.notify_all();
    }

  private:
    std::vector<Slot> slots_;
    std::size_t written_ = 0;  ///< slots published, counted from the start
    std::size_t read_ = 0;     ///< slots freed, counted from the start
    bool closed_ = false;
    std::mutex mutex_;
    std::condition_variable changed_;
};

/// Starts a thread running work; false (nothing started) when the system refuses.
bool start(std::thread& thread, std::function<void()> work) {
    try {
        thread = std::thread(std::move(work));
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

}  // namespace

// --- Reading ahead -------------------------------------------------------------------------

struct InputBlocks::Ahead {
    SlotQueue queue{kReadAheadBlocks, kInputBlockFrames};
    SlotQueue::Slot* held = nullptr;  // the slot the stages use now
    std::thread thread;

    void read(InputReader& reader, const StopToken& stop) {
        for (;;) {
            SlotQueue::Slot* slot = queue.beginWrite();
            if (slot == nullptr) {
                return;
            }
            slot->last = false;
            slot->error =
                stop.requested() ? cancelledError() : reader.read(slot->samples, slot->last);
            const bool end = slot->last || slot->error.has_value();
            queue.endWrite();
            if (end) {
                return;
            }
        }
    }
};

InputBlocks::InputBlocks(InputReader& reader, const StopToken& stop, bool readAhead)
    : reader_(reader), stop_(stop) {
    if (readAhead) {
        auto ahead = std::make_unique<Ahead>();
        if (start(ahead->thread, [a = ahead.get(), &reader, &stop] { a->read(reader, stop); })) {
            ahead_ = std::move(ahead);
        }
    }
}

InputBlocks::~InputBlocks() {
    stop();
}

void InputBlocks::stop() {
    if (ahead_) {
        ahead_->queue.close();
        ahead_->thread.join();
        ahead_.reset();
    }
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
    if (ahead_->held != nullptr) {
        ahead_->queue.endRead();
    }
    SlotQueue::Slot* slot = ahead_->held = ahead_->queue.beginRead();
    if (slot == nullptr) {
        return cancelledError();  // only after stop(), which the stages do not call meanwhile
    }
    block.samples = slot->samples;
    block.ended = slot->last;
    return slot->error;
}

// --- Coding ahead --------------------------------------------------------------------------

struct FrameStage::Ahead {
    SlotQueue queue{kQueuedBatches, 0};
    SlotQueue::Slot* held = nullptr;  // the slot being filled by the stages
    bool lastHandedOver = false;
    std::atomic<std::int64_t> framesCoded{0};
    StageResult error;  // written by the thread; read after it is joined
    std::thread thread;

    void code(FrameLoop& frames, DatabaseParts& parts) {
        for (;;) {
            SlotQueue::Slot* slot = queue.beginRead();
            if (slot == nullptr) {
                return;
            }
            error = frames.code(slot->samples, parts);
            const bool last = slot->last;
            queue.endRead();
            framesCoded.store(frames.framesCoded(), std::memory_order_relaxed);
            if (error || frames.full()) {
                queue.close();  // the stages see it at their next batch
                return;
            }
            if (last) {
                return;
            }
        }
    }
};

FrameStage::FrameStage(FrameLoop& frames, DatabaseParts& parts, bool codeAhead)
    : frames_(frames), parts_(parts) {
    if (codeAhead) {
        auto ahead = std::make_unique<Ahead>();
        if (start(ahead->thread, [a = ahead.get(), &frames, &parts] { a->code(frames, parts); })) {
            ahead_ = std::move(ahead);
        }
    }
}

FrameStage::~FrameStage() {
    if (ahead_) {
        ahead_->queue.close();
        ahead_->thread.join();
    }
}

std::vector<std::int16_t>* FrameStage::nextBatch() {
    if (!ahead_) {
        if (error_ || frames_.full()) {
            return nullptr;
        }
        batch_.clear();
        return &batch_;
    }
    if (ahead_->held == nullptr) {
        ahead_->held = ahead_->queue.beginWrite();
        if (ahead_->held == nullptr) {
            return nullptr;
        }
        ahead_->held->samples.clear();
    }
    return &ahead_->held->samples;
}

void FrameStage::handOver(bool last) {
    if (!ahead_) {
        error_ = frames_.code(batch_, parts_);
        return;
    }
    if (ahead_->held != nullptr) {
        ahead_->held->last = last;
        ahead_->held = nullptr;
        ahead_->lastHandedOver = last;
        ahead_->queue.endWrite();
    }
}

StageResult FrameStage::finish() {
    if (!ahead_) {
        return error_;
    }
    if (!ahead_->lastHandedOver) {
        ahead_->queue.close();
    }
    ahead_->thread.join();
    StageResult error = ahead_->error;
    ahead_.reset();
    return error;
}

std::int64_t FrameStage::framesCoded() const {
    return ahead_ ? ahead_->framesCoded.load(std::memory_order_relaxed) : frames_.framesCoded();
}

#else  // no threads: every stage runs on the calling thread

struct InputBlocks::Ahead {};
struct FrameStage::Ahead {};

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

FrameStage::FrameStage(FrameLoop& frames, DatabaseParts& parts, bool)
    : frames_(frames), parts_(parts) {}

FrameStage::~FrameStage() = default;

std::vector<std::int16_t>* FrameStage::nextBatch() {
    if (error_ || frames_.full()) {
        return nullptr;
    }
    batch_.clear();
    return &batch_;
}

void FrameStage::handOver(bool) {
    error_ = frames_.code(batch_, parts_);
}

StageResult FrameStage::finish() {
    return error_;
}

std::int64_t FrameStage::framesCoded() const {
    return frames_.framesCoded();
}

#endif

}  // namespace zelvio
