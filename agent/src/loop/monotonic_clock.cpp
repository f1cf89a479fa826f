#include "loop/monotonic_clock.h"

#include <windows.h>

namespace brisko {
namespace {

class PerformanceCounter final : public MonotonicClock {
public:
    PerformanceCounter() {
        LARGE_INTEGER frequency{};
        ::QueryPerformanceFrequency(&frequency);
        nanosecondsPerTick_ = 1'000'000'000.0 / static_cast<double>(frequency.QuadPart);
    }
    int64_t now() const override {
        LARGE_INTEGER counter{};
        ::QueryPerformanceCounter(&counter);
        return counter.QuadPart;
    }
    double nanosecondsPerTick() const override { return nanosecondsPerTick_; }

private:
    double nanosecondsPerTick_;
};

}  // namespace

const MonotonicClock& performanceCounter() {
    static const PerformanceCounter clock;
    return clock;
}

}  // namespace brisko
