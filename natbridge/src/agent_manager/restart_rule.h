#pragma once
// Whether a supervised agent that ended may be relaunched: the first relaunch always, then at
// most 9 relaunches in a row that each come within 5 seconds of the previous one.
#include <cstdint>

namespace brisko {

struct RestartHistory {
    int64_t lastRestart = 0;  // performance-counter value of the last relaunch; 0 before the first
    int32_t quickRestarts = 0;
};

constexpr int32_t kMaxQuickRestarts = 9;

// `quickWindow` is 5 seconds in counter ticks. Updates the history only when it allows.
bool AllowRestart(RestartHistory& history, int64_t now, int64_t quickWindow);

// The same rule on the performance counter.
bool AllowRestartNow(RestartHistory& history);

}  // namespace brisko
