#include <windows.h>

#include <cstdlib>
#include <memory>

#include "agent.h"
#include "ui/tray.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    brisko::SystemTrayShell shell;
    brisko::Tray tray(instance, shell);
    // The proxy guard is not part of this program yet.
    brisko::InactiveProxyGuard proxyGuard;
    const auto agent = std::make_shared<brisko::Agent>(instance, tray, proxyGuard, brisko::UIA::createMonitor);
    std::exit(agent->run());
}
