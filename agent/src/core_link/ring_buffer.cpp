#include "core_link/ring_buffer.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace brisko {

RingBuffer::RingBuffer() : data_(static_cast<uint8_t*>(std::malloc(kBlockSize))) {
    if (!data_) throw std::invalid_argument("RingBuffer allocation failed");
}

uint32_t RingBuffer::queued() const {
    if (full_) return capacity_;
    return (write_ + capacity_ - read_) % capacity_;
}

bool RingBuffer::peek(void* out, uint32_t n) const {
    if (n > queued()) return false;
    // Nothing to copy: an empty destination may be null, which memcpy must never be handed.
    if (n == 0) return true;
    const uint32_t first = std::min(n, capacity_ - read_);
    std::memcpy(out, data_.get() + read_, first);
    std::memcpy(static_cast<uint8_t*>(out) + first, data_.get(), n - first);
    return true;
}

std::span<const uint8_t> RingBuffer::contiguous() const {
    if (empty()) return {};
    const uint32_t end = write_ > read_ ? write_ : capacity_;
    return {data_.get() + read_, end - read_};
}

void RingBuffer::consume(uint32_t n) {
    if (n == 0) return;
    if (n > queued()) throw std::invalid_argument("count");
    read_ = (read_ + n) % capacity_;
    full_ = false;
}

void RingBuffer::append(const void* bytes, uint32_t n) {
    // Nothing to add: returning here also keeps an empty ring from being marked full.
    if (n == 0) return;
    const uint32_t have = queued();
    if (n > std::numeric_limits<uint32_t>::max() - have - kBlockSize)
        throw std::runtime_error("RingBuffer reallocation failed");
    if (have + n > capacity_) grow(have + n);
    const uint32_t first = std::min(n, capacity_ - write_);
    std::memcpy(data_.get() + write_, bytes, first);
    std::memcpy(data_.get(), static_cast<const uint8_t*>(bytes) + first, n - first);
    write_ = (write_ + n) % capacity_;
    if (write_ == read_) full_ = true;
}

void RingBuffer::clear() {
    read_ = write_ = 0;
    full_ = false;
}

void RingBuffer::grow(uint32_t needed) {
    const uint32_t capacity = (needed + kBlockSize - 1) / kBlockSize * kBlockSize;
    // A fresh block lets the queued bytes be laid out from its start, unwrapped.
    std::unique_ptr<uint8_t, Free> block(static_cast<uint8_t*>(std::malloc(capacity)));
    if (!block) throw std::runtime_error("RingBuffer reallocation failed");
    const uint32_t have = queued();
    peek(block.get(), have);
    data_ = std::move(block);
    capacity_ = capacity;
    read_ = 0;
    write_ = have % capacity_;
    full_ = have == capacity_;
}

}  // namespace brisko
