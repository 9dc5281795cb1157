#include "pdb/record_buffer.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace zelvio {

bool MemoryBudget::reserve(std::uint64_t count) {
    if (count > limitBytes_ || heldBytes_ > limitBytes_ - count) {
        return false;
    }
    heldBytes_ += count;
    return true;
}

RecordBuffer::~RecordBuffer() {
    freeBlock();
}

RecordBuffer::RecordBuffer(RecordBuffer&& other) noexcept
    : bytes_(std::move(other.bytes_)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)),
      budget_(other.budget_) {}

RecordBuffer& RecordBuffer::operator=(RecordBuffer&& other) noexcept {
    if (this != &other) {
        freeBlock();
        bytes_ = std::move(other.bytes_);
        size_ = std::exchange(other.size_, 0);
        capacity_ = std::exchange(other.capacity_, 0);
        budget_ = other.budget_;
    }
    return *this;
}

void RecordBuffer::freeBlock() {
    if (budget_ != nullptr) {
        budget_->release(capacity_);
    }
    bytes_.reset();
    capacity_ = 0;
}

bool RecordBuffer::reallocate(std::uint32_t newCapacity, std::uint32_t keepBytes) {
    if (budget_ != nullptr && !budget_->reserve(newCapacity)) {
        return false;
    }
    std::unique_ptr<std::uint8_t[]> block(new (std::nothrow) std::uint8_t[newCapacity]);
    if (!block) {
        if (budget_ != nullptr) {
            budget_->release(newCapacity);
        }
        return false;
    }
    if (keepBytes > 0) {
        std::memcpy(block.get(), bytes_.get(), keepBytes);
    }
    freeBlock();
    bytes_ = std::move(block);
    capacity_ = newCapacity;
    return true;
}

DbStatus RecordBuffer::resize(std::uint32_t size) {
    if (size > capacity_) {
        // Doubling keeps a record grown one chunk at a time from being copied on every append;
        // the ceiling keeps a full stream record close to its length. When the larger block
        // cannot be had, a block of exactly the asked length may still be.
        const std::uint64_t doubled = std::uint64_t{capacity_} * 2;
        const std::uint32_t wanted = static_cast<std::uint32_t>(
            std::max<std::uint64_t>(size, std::min<std::uint64_t>(doubled, kGrowthCeiling)));
        if (!reallocate(wanted, size_) && (wanted == size || !reallocate(size, size_))) {
            return kDbMemoryFull;
        }
    }
    if (size > size_) {
        std::memset(bytes_.get() + size_, 0, size - size_);
    }
    size_ = size;
    return kDbOk;
}

void RecordBuffer::shrinkToFit() {
    if (capacity_ == size_) {
        return;
    }
    if (size_ == 0) {
        freeBlock();
        return;
    }
    (void)reallocate(size_, size_);
}

}  // namespace zelvio
