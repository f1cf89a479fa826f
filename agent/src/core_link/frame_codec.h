#pragma once
// The "spp2" frame: a 12-byte header (magic, id, word W), then, when flag 0x01 is set, a
// 32-bit length and the payload. All integers are big-endian.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "core_link/message.h"
#include "core_link/ring_buffer.h"

namespace brisko {

constexpr uint32_t kMaxPayload = 32768;

// Takes one complete message off the front of the ring, or nothing while the frame is still
// incomplete. Throws std::runtime_error "invalid message" or "streaming not supported" and
// std::overflow_error "message too big"; the bytes stay queued then.
std::optional<Message> parseMessage(RingBuffer& input);

// The bytes of one frame; a message without payload is a bare 12-byte header.
// Throws std::overflow_error "message too big" for a payload the peer would refuse.
std::vector<uint8_t> encodeMessage(const Message& message);

}  // namespace brisko
