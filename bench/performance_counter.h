#pragma once
// The performance counter, which every process on the machine reads alike: stamps taken in one
// process (the demo core writes them into its log) compare with stamps taken in another.
#include <windows.h>

namespace brisko::bench {

inline long long counterNow() {
    LARGE_INTEGER now{};
    ::QueryPerformanceCounter(&now);
    return now.QuadPart;
}

inline double counterMicroseconds(long long from, long long to) {
    static const long long frequency = [] {
        LARGE_INTEGER value{};
        ::QueryPerformanceFrequency(&value);
        return value.QuadPart;
    }();
    return static_cast<double>(to - from) * 1e6 / static_cast<double>(frequency);
}

}  // namespace brisko::bench
