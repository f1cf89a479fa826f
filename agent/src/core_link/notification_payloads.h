#pragma once
// The payloads of the core's notifications, decoded apart from what the agent does with them.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace brisko {

// A payload that ends early or is not MessagePack keeps what was decoded before it failed; a
// value of the wrong type throws msgpack::type_error.
struct ProtectionStatusPayload {
    std::optional<bool> enabled;
    std::optional<int64_t> remainingMs;  // set only after enabled
};
ProtectionStatusPayload readProtectionStatus(const std::vector<uint8_t>& payload);

// The first string is decoded (it must be a string) but not used. None when the payload ends
// early or is not MessagePack; a value of the wrong type throws msgpack::type_error.
struct ApplicationBlockedPayload {
    std::string name;
    int64_t reason = 0;
};
std::optional<ApplicationBlockedPayload> readApplicationBlocked(const std::vector<uint8_t>& payload);

// A nil host stays empty and a nil port 0; a port must fit an int. None when the payload ends
// early or is not MessagePack; a value of the wrong type throws msgpack::type_error.
struct ProxyConfigurationPayload {
    std::string httpHost;
    int httpPort = 0;
    std::string httpsHost;
    int httpsPort = 0;
};
std::optional<ProxyConfigurationPayload> readProxyConfiguration(const std::vector<uint8_t>& payload);

}  // namespace brisko
