#pragma once
// The monotonic clock behind the protection deadline, replaceable so tests can set the time.
#include <cstdint>

namespace brisko {

class MonotonicClock {
public:
    virtual ~MonotonicClock() = default;
    virtual int64_t now() const = 0;  // ticks
    virtual double nanosecondsPerTick() const = 0;
};

// QueryPerformanceCounter, with its frequency read once per process.
const MonotonicClock& performanceCounter();

}  // namespace brisko
