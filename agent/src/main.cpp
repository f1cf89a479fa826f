#include <windows.h>

#include <cstdlib>
#include <memory>

#include "agent.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // Balloons and the proxy guard are not part of this program yet.
    brisko::SilentNotifier notifier;
    brisko::InactiveProxyGuard proxyGuard;
    const auto agent = std::make_shared<brisko::Agent>(instance, notifier, proxyGuard, brisko::UIA::createMonitor);
    std::exit(agent->run());
}
