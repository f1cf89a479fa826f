#pragma once
// Reads the MessagePack values of a payload one after the other.
#include <cstddef>
#include <cstdint>
#include <vector>

#include <msgpack.hpp>

namespace brisko {

class PayloadReader {
public:
    explicit PayloadReader(const std::vector<uint8_t>& payload) : payload_(payload) {}

    // The next value. Throws msgpack::unpack_error when the payload ends early or is not
    // MessagePack; converting the value to the wrong type throws msgpack::type_error.
    msgpack::object_handle next() {
        return msgpack::unpack(reinterpret_cast<const char*>(payload_.data()), payload_.size(), offset_);
    }

private:
    const std::vector<uint8_t>& payload_;
    std::size_t offset_ = 0;
};

}  // namespace brisko
