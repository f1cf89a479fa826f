#include "core_link/core_protocol.h"

#include <msgpack.hpp>

#include "core_link/payload_reader.h"

namespace brisko {
namespace {

template <typename... Values>
std::vector<uint8_t> packPayload(const Values&... values) {
    msgpack::sbuffer buffer;
    msgpack::packer<msgpack::sbuffer> packer(buffer);
    (packer.pack(values), ...);
    return {reinterpret_cast<const uint8_t*>(buffer.data()), reinterpret_cast<const uint8_t*>(buffer.data()) + buffer.size()};
}

// msgpack-c would also turn a bin value into a string; where the protocol has a string, a bin
// value is of the wrong type.
std::string readString(const msgpack::object& value) {
    if (value.type != msgpack::type::STR) throw msgpack::type_error();
    return value.as<std::string>();
}

std::string readHost(const msgpack::object& value) { return value.is_nil() ? std::string() : readString(value); }
int readPort(const msgpack::object& value) { return value.is_nil() ? 0 : value.as<int>(); }

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

std::optional<ProtectionStatusValues> readProtectionStatus(const std::vector<uint8_t>& payload) {
    PayloadReader reader(payload);
    ProtectionStatusValues status;
    try {
        status.enabled = reader.next()->as<bool>();
    } catch (const msgpack::unpack_error&) {
        return std::nullopt;
    }
    try {
        status.remainingMs = reader.next()->as<int64_t>();
    } catch (const msgpack::unpack_error&) {
    }
    return status;
}

std::optional<ApplicationBlockedValues> readApplicationBlocked(const std::vector<uint8_t>& payload) {
    PayloadReader reader(payload);
    ApplicationBlockedValues blocked;
    try {
        readString(reader.next().get());  // the application's identifier, not shown
        blocked.applicationName = readString(reader.next().get());
        blocked.reason = reader.next()->as<int64_t>();
    } catch (const msgpack::unpack_error&) {
        return std::nullopt;
    }
    return blocked;
}

std::optional<ProxyConfiguration> readProxyConfiguration(const std::vector<uint8_t>& payload) {
    PayloadReader reader(payload);
    ProxyConfiguration configuration;
    try {
        configuration.httpHost = readHost(reader.next().get());
        configuration.httpPort = readPort(reader.next().get());
        configuration.httpsHost = readHost(reader.next().get());
        configuration.httpsPort = readPort(reader.next().get());
    } catch (const msgpack::unpack_error&) {
        return std::nullopt;
    }
    return configuration;
}

}  // namespace brisko
