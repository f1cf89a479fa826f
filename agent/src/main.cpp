#include <windows.h>

#include <cstdlib>
#include <memory>

#include "agent.h"
#include "proxy/user_proxy_guard.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // Balloons are not part of this program yet.
    brisko::SilentNotifier notifier;
    brisko::UserProxyGuard proxyGuard;
    const auto agent = std::make_shared<brisko::Agent>(instance, notifier, proxyGuard, brisko::UIA::createMonitor);
    std::exit(agent->run());
}
