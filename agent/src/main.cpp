#include <windows.h>

#include <cstdlib>
#include <memory>

#include "agent.h"

namespace {

// Balloons and the proxy guard are not part of this program yet: their places are held by
// implementations that do nothing.
class SilentNotifier final : public brisko::Notifier {
public:
    void showBalloon(const brisko::ResourceString&, const brisko::BalloonText&, bool) override {}
    void clearBalloon() override {}
};

class InactiveProxyGuard final : public brisko::ProxyGuard {
public:
    void setProxy(const std::string&, int, const std::string&, int) override {}
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

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    SilentNotifier notifier;
    InactiveProxyGuard proxyGuard;
    const auto agent = std::make_shared<brisko::Agent>(instance, notifier, proxyGuard, brisko::UIA::createMonitor);
    std::exit(agent->run());
}
