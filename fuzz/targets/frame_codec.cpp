// The "spp2" frame codec over any bytes from the core's port: the messages and the refusal that
// come out do not depend on how the bytes were split into reads, and every message decoded
// encodes to a frame that decodes back to it.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "core_link/frame_codec.h"
#include "core_link/ring_buffer.h"

namespace {

using brisko::Message;
using brisko::RingBuffer;

struct Decoded {
    std::vector<Message> messages;
    std::string refusal;
    uint32_t leftOver = 0;
    bool operator==(const Decoded&) const = default;
};

// Appends the bytes in reads of at most step bytes, taking every complete message after each.
Decoded decode(const uint8_t* data, size_t size, size_t step) {
    Decoded decoded;
    RingBuffer ring;
    for (size_t at = 0; at < size; at += step) {
        ring.append(data + at, static_cast<uint32_t>(std::min(step, size - at)));
        try {
            while (std::optional<Message> message = brisko::parseMessage(ring))
                decoded.messages.push_back(std::move(*message));
        } catch (const std::exception& error) {
            // The refused bytes stay queued, however many of them were read.
            decoded.refusal = error.what();
            return decoded;
        }
    }
    decoded.leftOver = ring.queued();
    return decoded;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const size_t step = data[0] % 32 + 1;
    const Decoded whole = decode(data + 1, size - 1, size);
    if (decode(data + 1, size - 1, step) != whole) __builtin_trap();

    for (const Message& message : whole.messages) {
        const std::vector<uint8_t> bytes = brisko::encodeMessage(message);
        RingBuffer ring;
        ring.append(bytes.data(), static_cast<uint32_t>(bytes.size()));
        const std::optional<Message> back = brisko::parseMessage(ring);
        if (!back || *back != message || !ring.empty()) __builtin_trap();
    }
    return 0;
}
