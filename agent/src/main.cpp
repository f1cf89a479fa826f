#include <windows.h>

#include <cstdlib>
#include <memory>

#include "agent.h"
#include "loop/thread_protection.h"
#include "proxy/user_proxy_guard.h"
#include "ui/tray.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // Before any other thread exists, so that none is ever open to the child.
    brisko::protectAgentThreads();
    brisko::SystemTrayShell shell;
    brisko::Tray tray(instance, shell);
    brisko::UserProxyGuard proxyGuard;
    const auto agent = std::make_shared<brisko::Agent>(instance, tray, proxyGuard, brisko::UIA::createMonitor);
    std::exit(agent->run());
}
