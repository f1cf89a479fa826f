#include "core_link/notification_payloads.h"

#include "core_link/payload_reader.h"

namespace brisko {
namespace {

// msgpack-c would also turn a bin value into a string; where the protocol has a string, a bin
// value is of the wrong type.
std::string readString(const msgpack::object& value) {
    if (value.type != msgpack::type::STR) throw msgpack::type_error();
    return value.as<std::string>();
}

std::string readHost(const msgpack::object& value) { return value.is_nil() ? std::string() : readString(value); }
int readPort(const msgpack::object& value) { return value.is_nil() ? 0 : value.as<int>(); }

}  // namespace

ProtectionStatusPayload readProtectionStatus(const std::vector<uint8_t>& payload) {
    PayloadReader reader(payload);
    ProtectionStatusPayload status;
    try {
        status.enabled = reader.next()->as<bool>();
        status.remainingMs = reader.next()->as<int64_t>();
    } catch (const msgpack::unpack_error&) {
    }
    return status;
}

std::optional<ApplicationBlockedPayload> readApplicationBlocked(const std::vector<uint8_t>& payload) {
    PayloadReader reader(payload);
    ApplicationBlockedPayload blocked;
    try {
        readString(reader.next().get());
        blocked.name = readString(reader.next().get());
        blocked.reason = reader.next()->as<int64_t>();
    } catch (const msgpack::unpack_error&) {
        return std::nullopt;
    }
    return blocked;
}

std::optional<ProxyConfigurationPayload> readProxyConfiguration(const std::vector<uint8_t>& payload) {
    PayloadReader reader(payload);
    ProxyConfigurationPayload proxy;
    try {
        proxy.httpHost = readHost(reader.next().get());
        proxy.httpPort = readPort(reader.next().get());
        proxy.httpsHost = readHost(reader.next().get());
        proxy.httpsPort = readPort(reader.next().get());
    } catch (const msgpack::unpack_error&) {
        return std::nullopt;
    }
    return proxy;
}

}  // namespace brisko
