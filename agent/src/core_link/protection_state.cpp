#include "core_link/protection_state.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>

namespace brisko {

int64_t deadlineAfter(int64_t remainingMs, int64_t now, double nanosecondsPerTick) {
    if (remainingMs <= 0) return ProtectionState::kNoEndTime;
    const double ticks = std::floor(static_cast<double>(remainingMs) * 1'000'000.0 / nanosecondsPerTick + 0.5);
    const int64_t last = std::numeric_limits<int64_t>::max();
    if (ticks >= static_cast<double>(last - now)) return last;
    return now + static_cast<int64_t>(ticks);
}

int64_t wholeMinutesLeft(int64_t deadline, int64_t now, double nanosecondsPerTick) {
    if (deadline <= 0) return 0;
    return static_cast<int64_t>(static_cast<double>(deadline - now) * nanosecondsPerTick / 1'000'000'000.0 / 60.0);
}

int minutesToShow(int64_t deadline, int64_t now, double nanosecondsPerTick) {
    return static_cast<int>(std::clamp<int64_t>(wholeMinutesLeft(deadline, now, nanosecondsPerTick), 0, INT_MAX));
}

}  // namespace brisko
