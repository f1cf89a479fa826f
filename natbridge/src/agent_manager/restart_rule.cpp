#include "agent_manager/restart_rule.h"

#include <windows.h>

namespace brisko {

bool AllowRestart(RestartHistory& history, int64_t now, int64_t quickWindow) {
    if (history.lastRestart == 0 || now - history.lastRestart > quickWindow) {
        history.quickRestarts = 1;
    } else if (history.quickRestarts >= kMaxQuickRestarts) {
        return false;
    } else {
        ++history.quickRestarts;
    }
    history.lastRestart = now;
    return true;
}

bool AllowRestartNow(RestartHistory& history) {
    static const int64_t ticksPerSecond = [] {
        LARGE_INTEGER frequency;
        ::QueryPerformanceFrequency(&frequency);
        return frequency.QuadPart;
    }();
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return AllowRestart(history, now.QuadPart, 5 * ticksPerSecond);
}

}  // namespace brisko
