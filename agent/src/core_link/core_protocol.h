#pragma once
// The messages of the agent protocol: their numbers and the payloads the agent writes (the
// core's notifications are read in notification_payloads.h). The connection carries them; the
// agent acts on them.
#include <cstdint>
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

}  // namespace brisko
