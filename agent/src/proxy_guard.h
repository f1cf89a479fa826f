#pragma once
// Keeps the core's proxy forced into the user's Internet Settings while protection is enabled.
#include <windows.h>

#include <optional>
#include <string>

namespace brisko {

class ProxyGuard {
public:
    virtual ~ProxyGuard() = default;

    // A proxy configuration from the core; empty hosts stand for none. The guard builds the proxy
    // string and forces it at once only while protection is enabled.
    virtual void setProxy(const std::string& httpHost, int httpPort, const std::string& httpsHost, int httpsPort,
                          bool protectionEnabled) = 0;
    // The proxy string built from the last configuration (UTF-8); empty when there is none.
    virtual const std::string& proxySpec() const = 0;

    // Writes the proxy into the user's settings, or removes it when given none.
    virtual void applyProxy(const std::optional<std::string>& proxy) = 0;
    virtual void startProxyWatch() = 0;
    // Registers for the next change after the guard's own write.
    virtual void rearmProxyWatch() = 0;
    virtual void stopProxyWatch() = 0;
    virtual bool isWatching() const = 0;
    // What the main loop waits on while watching; null when there is nothing to wait for.
    virtual HANDLE watchEvent() const = 0;
};

// Holds the guard's place until the agent forces the user's proxy: forces and watches nothing.
class InactiveProxyGuard final : public ProxyGuard {
public:
    void setProxy(const std::string&, int, const std::string&, int, bool) override {}
    const std::string& proxySpec() const override { return spec_; }
    void applyProxy(const std::optional<std::string>&) override {}
    void startProxyWatch() override {}
    void rearmProxyWatch() override {}
    void stopProxyWatch() override {}
    bool isWatching() const override { return false; }
    HANDLE watchEvent() const override { return nullptr; }

private:
    std::string spec_;
};

}  // namespace brisko
