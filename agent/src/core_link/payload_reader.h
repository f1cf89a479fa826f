#pragma once
// Reads the MessagePack values of a payload one after the other.
#include <cstddef>
#include <cstdint>
#include <vector>

#include <msgpack.hpp>

namespace brisko {

class PayloadReader {
public:
    // The core's values are scalars: a container is only ever a value of the wrong type, and
    // none needs to nest deeper than this.
    static constexpr std::size_t kMaxNesting = 4;

    explicit PayloadReader(const std::vector<uint8_t>& payload) : payload_(payload) {}

    // The next value. Throws msgpack::unpack_error when the payload ends early or is not
    // MessagePack; converting the value to the wrong type throws msgpack::type_error.
    //
    // Every element of an array takes at least one byte and every pair of a map two, so a count
    // beyond the bytes left is refused (msgpack::size_overflow, an unpack_error) before msgpack
    // allocates the elements: a declared count alone never sets the size of an allocation.
    msgpack::object_handle next() {
        const std::size_t left = payload_.size() - offset_;
        const msgpack::unpack_limit limit(left, left / 2, left, left, left, kMaxNesting);
        return msgpack::unpack(reinterpret_cast<const char*>(payload_.data()), payload_.size(), offset_, nullptr,
                               nullptr, limit);
    }

private:
    const std::vector<uint8_t>& payload_;
    std::size_t offset_ = 0;
};

}  // namespace brisko
