#pragma once
// The guard of the user's own proxy settings: while protection is enabled, the core's proxy is
// written into HKEY_CURRENT_USER's Internet Settings, and a registry change notification on that
// key (waited on by the main loop) has it written back after any change by anyone else.
#include <windows.h>

#include <optional>
#include <string>

#include "proxy_guard.h"
#include "unique_handle.h"

namespace brisko {

class UserProxyGuard final : public ProxyGuard {
public:
    void setProxy(const std::string& httpHost, int httpPort, const std::string& httpsHost, int httpsPort,
                  bool protectionEnabled) override;
    const std::string& proxySpec() const override { return spec_; }
    void applyProxy(const std::optional<std::string>& proxy) override;
    void startProxyWatch() override;
    void rearmProxyWatch() override;
    void stopProxyWatch() override;
    bool isWatching() const override { return static_cast<bool>(event_); }
    HANDLE watchEvent() const override { return event_.get(); }

private:
    std::string spec_;
    // The key stays empty when it cannot be opened: the watch then never fires but still counts
    // as active, so the proxy is removed when protection ends.
    UniqueKey key_;
    UniqueHandle event_;
};

}  // namespace brisko
