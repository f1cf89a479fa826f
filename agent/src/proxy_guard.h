#pragma once
// Keeps the core's proxy forced into the user's Internet Settings while protection is enabled.
#include "core_link/notification_payloads.h"

namespace brisko {

class ProxyGuard {
public:
    virtual ~ProxyGuard() = default;

    // A proxy configuration from the core; empty hosts stand for none. Forced at once only while
    // protection is enabled, else kept for when it comes back. One the settings could not hold
    // as the core meant it is refused and what is forced stays.
    virtual void configure(const ProxyConfigurationPayload& configuration, bool protectionEnabled) = 0;
    // Protection went off or came back (not the first status after start).
    virtual void protectionChanged(bool enabled) = 0;
    // The agent ends: a forced proxy is removed.
    virtual void stop() = 0;
};

// Holds the guard's place until the agent forces the user's proxy: forces and watches nothing.
class InactiveProxyGuard final : public ProxyGuard {
public:
    void configure(const ProxyConfigurationPayload&, bool) override {}
    void protectionChanged(bool) override {}
    void stop() override {}
};

}  // namespace brisko
