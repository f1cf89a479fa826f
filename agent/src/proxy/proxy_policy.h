#pragma once
// When the user's proxy is forced and when it is taken away: one decision over what the guard
// knows (the core's last accepted configuration, whether protection is on, whether the proxy is
// forced now), made for each event and carried out by the guard.
#include <optional>
#include <string>

#include "core_link/notification_payloads.h"

namespace brisko {

enum class ProxyAction {
    None,
    Force,  // write the proxy list and watch the settings
    Clear,  // remove the proxy and stop watching
};

// The configuration's list, or none when the user's settings could not hold it as the core meant
// it: a host that is not one a proxy list may name (proxy_host.h: a ";", "=", white space or
// a control character would end the entry or add one of the host's choosing), or a list longer
// than the settings take.
std::optional<std::string> AcceptableProxyList(const ProxyConfigurationPayload& configuration);

class ProxyPolicy {
public:
    // A configuration from the core. One the settings could not hold as the core meant it is
    // refused and changes nothing: what is forced stays forced. One without hosts clears.
    // While protection is off an accepted one is only kept.
    ProxyAction configure(const ProxyConfigurationPayload& configuration, bool protectionEnabled);
    // Protection went off or came back (not the first status after start).
    ProxyAction protectionChanged(bool enabled);
    // Someone changed the user's settings while they were watched.
    ProxyAction settingsChanged() const;
    // The agent ends.
    ProxyAction stop();

    // What Force writes: the list of the last accepted configuration; empty when it had no host.
    const std::string& proxyList() const { return list_; }
    bool forcing() const { return forcing_; }

private:
    ProxyAction force();
    ProxyAction clearIfForcing();

    std::string list_;
    bool forcing_ = false;
};

}  // namespace brisko
