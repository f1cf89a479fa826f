#include "core_link/core_protocol.h"

#include <msgpack.hpp>


namespace brisko {
namespace {

template <typename... Values>
std::vector<uint8_t> packPayload(const Values&... values) {
    msgpack::sbuffer buffer;
    msgpack::packer<msgpack::sbuffer> packer(buffer);
    (packer.pack(values), ...);
    return {reinterpret_cast<const uint8_t*>(buffer.data()), reinterpret_cast<const uint8_t*>(buffer.data()) + buffer.size()};
}

}  // namespace

Message sessionUserMessage(int32_t id, const std::string& userName) {
    return Message{id, kSessionChannel, kSessionUser, packPayload(userName)};
}

Message changeProtectionMessage(int32_t id, const std::string& password, bool enable, int64_t durationMs) {
    return Message{id, kProtectionChannel, kChangeProtection, packPayload(password, enable, durationMs)};
}

CoreNotification notificationKind(const Message& message) {
    if (message.channel != kNotificationChannel) return CoreNotification::Other;
    switch (message.code) {
        case kProtectionStatus:
            return CoreNotification::ProtectionStatus;
        case kApplicationBlocked:
            return CoreNotification::ApplicationBlocked;
        case kProxyConfiguration:
            return CoreNotification::ProxyConfiguration;
        default:
            return CoreNotification::Other;
    }
}

}  // namespace brisko
