#include "agent_manager/restart_rule.h"

#include <windows.h>

#include <algorithm>

namespace brisko {

RestartDecision DecideRestart(RestartHistory& history, int64_t now, const RestartTimings& timings) {
    if (history.backOff > 0) {
        if (now - history.lastRestart < timings.settled) {
            history.backOff = std::min(history.backOff * 2, timings.longestBackOff);
            history.lastRestart = now + history.backOff;
            return {history.backOff, false};
        }
        history.backOff = 0;
    }
    if (history.lastRestart == 0 || now - history.lastRestart > timings.quickWindow) {
        history.quickRestarts = 1;
    } else if (history.quickRestarts >= kMaxQuickRestarts) {
        history.backOff = timings.firstBackOff;
        history.lastRestart = now + history.backOff;
        return {history.backOff, true};
    } else {
        ++history.quickRestarts;
    }
    history.lastRestart = now;
    return {};
}

RestartTimings& AgentRestartTimings() {
    static RestartTimings timings;
    return timings;
}

int64_t MonotonicMilliseconds() {
    static const int64_t ticksPerSecond = [] {
        LARGE_INTEGER frequency;
        ::QueryPerformanceFrequency(&frequency);
        return frequency.QuadPart;
    }();
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    // Whole seconds first: the counter times 1000 could overflow after a long uptime.
    return now.QuadPart / ticksPerSecond * 1000 + now.QuadPart % ticksPerSecond * 1000 / ticksPerSecond;
}

}  // namespace brisko
