#pragma once
// Whether protection is on and, while it is suspended, when it comes back.
#include <cstdint>

namespace brisko {

struct ProtectionState {
    static constexpr int64_t kNoStatusYet = -1;
    static constexpr int64_t kNoEndTime = 0;

    bool enabled = true;
    int64_t deadline = kNoStatusYet;  // else a tick of the monotonic clock
};

// The tick at which remainingMs from now have passed, rounded to the nearest tick; kNoEndTime when
// nothing remains. A period too long for the clock ends at its last tick.
int64_t deadlineAfter(int64_t remainingMs, int64_t now, double nanosecondsPerTick);

// Whole minutes from now until the deadline, truncated; 0 when there is no end time.
int64_t wholeMinutesLeft(int64_t deadline, int64_t now, double nanosecondsPerTick);

// The same as a count a user is shown: a deadline already passed shows 0, one absurdly far is
// held at the largest int.
int minutesToShow(int64_t deadline, int64_t now, double nanosecondsPerTick);

}  // namespace brisko
