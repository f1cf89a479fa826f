#pragma once
// A growable byte queue over one heap block, used for the connection's received and unsent bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>

namespace brisko {

class RingBuffer {
public:
    static constexpr uint32_t kBlockSize = 4096;

    RingBuffer();
    RingBuffer(const RingBuffer&) = delete;
    RingBuffer& operator=(const RingBuffer&) = delete;

    uint32_t capacity() const { return capacity_; }
    uint32_t queued() const;
    bool empty() const { return queued() == 0; }

    // Copies n bytes from the front without consuming them; false if fewer are queued. out may be
    // null when n is 0.
    bool peek(void* out, uint32_t n) const;
    // The bytes from the front up to the write index or the end of the block, whichever is first.
    std::span<const uint8_t> contiguous() const;
    void consume(uint32_t n);
    // Grows in whole blocks when needed; the queued bytes keep their order.
    void append(const void* bytes, uint32_t n);
    void clear();

private:
    struct Free {
        void operator()(uint8_t* block) const { std::free(block); }
    };

    void grow(uint32_t needed);

    bool full_ = false;
    uint32_t capacity_ = kBlockSize;
    uint32_t read_ = 0;
    uint32_t write_ = 0;
    std::unique_ptr<uint8_t, Free> data_;
};

}  // namespace brisko
