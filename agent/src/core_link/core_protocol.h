#pragma once
// The messages of the agent protocol: their numbers, the payloads the agent writes, and the
// core's notifications read back into values. The connection carries them; the agent acts on
// them.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core_link/message.h"

namespace brisko {

inline constexpr uint16_t kSessionChannel = 0;
inline constexpr int32_t kSessionUser = 1;
inline constexpr uint16_t kProtectionChannel = 2;
inline constexpr int32_t kChangeProtection = 0;
inline constexpr uint16_t kNotificationChannel = 1;
inline constexpr int32_t kProtectionStatus = 0;
inline constexpr int32_t kApplicationBlocked = 1;
inline constexpr int32_t kProxyConfiguration = 2;

// The session's user, in the ANSI code page; one-way.
Message sessionUserMessage(int32_t id, const std::string& userName);
// A request; the core answers with a result in the response's code.
Message changeProtectionMessage(int32_t id, const std::string& password, bool enable, int64_t durationMs);

enum class CoreNotification { ProtectionStatus, ApplicationBlocked, ProxyConfiguration, Other };

// What a message from the core is; only channel 1 carries notifications.
CoreNotification notificationKind(const Message& message);

// Reading a notification: a payload that ends early or is not MessagePack gives nothing (the
// message is dropped); a value of the wrong type throws msgpack::type_error, which the connection
// takes as a broken link.

struct ProtectionStatusValues {
    bool enabled = true;
    // Missing when the payload ends after the flag: the flag alone is taken.
    std::optional<int64_t> remainingMs;
};
std::optional<ProtectionStatusValues> readProtectionStatus(const std::vector<uint8_t>& payload);

struct ApplicationBlockedValues {
    std::string applicationName;  // ANSI
    int64_t reason = 0;           // 0 time range, 1 quota, else denied
};
std::optional<ApplicationBlockedValues> readApplicationBlocked(const std::vector<uint8_t>& payload);

// Hosts are UTF-8; a nil host is empty and a nil port 0.
struct ProxyConfiguration {
    std::string httpHost;
    int httpPort = 0;
    std::string httpsHost;
    int httpsPort = 0;

    bool operator==(const ProxyConfiguration&) const = default;
};
std::optional<ProxyConfiguration> readProxyConfiguration(const std::vector<uint8_t>& payload);

}  // namespace brisko
