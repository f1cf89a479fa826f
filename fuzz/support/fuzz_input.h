// Splits one fuzz input into the values a target hands to the code under test.
//
// Text fields end at a line feed (or the end of the input). Byte 0xFF escapes: in a wide field
// "FF hi lo" is the UTF-16 code unit hi:lo (any unit, a line feed or a lone surrogate included),
// in a narrow field "FF b" is the byte b. Every other byte is itself (a wide field widens it).
// wchar_t is 32-bit on this host; the units a field gives never exceed 0xFFFF, as on Windows.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool empty() const { return at_ >= size_; }
    size_t left() const { return at_ < size_ ? size_ - at_ : 0; }

    // 0 once the input is used up.
    uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    // Big-endian, the first byte taken first.
    uint16_t u16() {
        const uint8_t high = byte();
        return static_cast<uint16_t>(high << 8 | byte());
    }
    uint32_t u32() {
        const uint32_t high = u16();
        return high << 16 | u16();
    }
    uint64_t u64() {
        const uint64_t high = u32();
        return high << 32 | u32();
    }
    int32_t i32() { return static_cast<int32_t>(u32()); }
    bool flag() { return byte() & 1; }

    std::wstring wide() {
        std::wstring text;
        while (at_ < size_ && data_[at_] != '\n') {
            const uint8_t b = data_[at_++];
            if (b == 0xFF) {
                const uint8_t high = byte();
                text += static_cast<wchar_t>(high << 8 | byte());
            } else {
                text += static_cast<wchar_t>(b);
            }
        }
        if (at_ < size_) ++at_;
        return text;
    }

    std::string narrow() {
        std::string text;
        while (at_ < size_ && data_[at_] != '\n') {
            const uint8_t b = data_[at_++];
            text += static_cast<char>(b == 0xFF ? byte() : b);
        }
        if (at_ < size_) ++at_;
        return text;
    }

    // At most n bytes, fewer at the end of the input.
    std::vector<uint8_t> bytes(size_t n) {
        const size_t count = n < left() ? n : left();
        std::vector<uint8_t> taken(data_ + at_, data_ + at_ + count);
        at_ += count;
        return taken;
    }

    std::vector<uint8_t> rest() {
        std::vector<uint8_t> bytes(data_ + (at_ < size_ ? at_ : size_), data_ + size_);
        at_ = size_;
        return bytes;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

// A target states a property: when it breaks, the run stops here with the input kept.
#define FUZZ_CHECK(condition) \
    do {                      \
        if (!(condition)) __builtin_trap(); \
    } while (0)
