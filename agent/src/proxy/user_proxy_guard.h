#pragma once
// The guard of the user's own proxy settings: carries out the proxy policy on HKEY_CURRENT_USER's
// Internet Settings, and has the forced proxy written back after any change by anyone else.
#include <atomic>
#include <cstdint>
#include <string>

#include "proxy/proxy_policy.h"
#include "proxy/settings_watch.h"
#include "proxy_guard.h"

namespace brisko {

class UserProxyGuard final : public ProxyGuard {
public:
    UserProxyGuard();

    void configure(const ProxyConfigurationPayload& configuration, bool protectionEnabled) override;
    void protectionChanged(bool enabled) override;
    void stop() override;

    const std::string& proxyList() const { return policy_.proxyList(); }
    bool forcing() const { return policy_.forcing(); }
    bool watching() const { return watch_.active(); }
    // How often an outside change was written over, for the benchmark.
    uint32_t rewrites() const { return rewrites_.load(); }

private:
    void settingsChanged();
    void carryOut(ProxyAction action);
    // Writes the list into the user's settings, or removes the proxy when given none.
    void write(const std::string* list);

    ProxyPolicy policy_;
    SettingsWatch watch_;
    std::atomic<uint32_t> rewrites_{0};
};

}  // namespace brisko
