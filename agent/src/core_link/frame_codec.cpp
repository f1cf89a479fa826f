#include "core_link/frame_codec.h"

#include <cstring>
#include <stdexcept>

namespace brisko {
namespace {

constexpr uint8_t kMagic[4] = {'s', 'p', 'p', '2'};
constexpr uint32_t kHeaderSize = 12;
constexpr uint32_t kHeaderWithLengthSize = 16;
constexpr uint8_t kFlagPayload = 0x01;
constexpr uint8_t kFlagStreaming = 0x04;

uint32_t readBigEndian(const uint8_t* bytes) {
    return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) | bytes[3];
}

void appendBigEndian(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value >> 24));
    out.push_back(static_cast<uint8_t>(value >> 16));
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

}  // namespace

std::optional<Message> parseMessage(RingBuffer& input) {
    uint8_t header[kHeaderWithLengthSize];
    if (!input.peek(header, sizeof kMagic)) return std::nullopt;
    if (std::memcmp(header, kMagic, sizeof kMagic) != 0) throw std::runtime_error("invalid message");
    if (!input.peek(header, kHeaderSize)) return std::nullopt;

    Message message;
    message.id = static_cast<int32_t>(readBigEndian(header + 4));
    if (message.id < 0) {
        message.code = static_cast<int32_t>(readBigEndian(header + 8) >> 8);
    } else {
        message.channel = header[9];
        message.code = header[10];
    }
    const uint8_t flags = header[11];
    if (flags & kFlagStreaming) throw std::runtime_error("streaming not supported");

    if (!(flags & kFlagPayload)) {
        input.consume(kHeaderSize);
        return message;
    }
    if (!input.peek(header, kHeaderWithLengthSize)) return std::nullopt;
    const uint32_t length = readBigEndian(header + kHeaderSize);
    if (length > kMaxPayload) throw std::overflow_error("message too big");
    if (input.queued() < kHeaderWithLengthSize + length) return std::nullopt;
    input.consume(kHeaderWithLengthSize);
    message.payload.resize(length);
    input.peek(message.payload.data(), length);
    input.consume(length);
    return message;
}

std::vector<uint8_t> encodeMessage(const Message& message) {
    if (message.payload.size() > kMaxPayload) throw std::overflow_error("message too big");
    const uint32_t value = message.id < 0
                               ? static_cast<uint32_t>(message.code)
                               : (uint32_t{message.channel} << 8) | static_cast<uint32_t>(message.code);
    const bool hasPayload = !message.payload.empty();

    std::vector<uint8_t> out(std::begin(kMagic), std::end(kMagic));
    out.reserve(kHeaderWithLengthSize + message.payload.size());
    appendBigEndian(out, static_cast<uint32_t>(message.id));
    appendBigEndian(out, (value << 8) | (hasPayload ? kFlagPayload : 0));
    if (hasPayload) {
        appendBigEndian(out, static_cast<uint32_t>(message.payload.size()));
        out.insert(out.end(), message.payload.begin(), message.payload.end());
    }
    return out;
}

}  // namespace brisko
