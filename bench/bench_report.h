#pragma once
// What every benchmark program shares: its output lines and the arithmetic over repeated rounds.
// A program prints one "name value unit" line per figure; scripts/bench.sh gathers them.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace brisko::bench {

using Clock = std::chrono::steady_clock;

inline double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Samples alternate with their baseline, so the median of per-sample figures (and of per-sample
// ratios) holds on a machine whose load changes during the run.
inline double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Four significant digits, never in exponent form: "0.01612", "493.3", "31750", "0".
inline std::string figureLine(const std::string& name, double value, const std::string& unit) {
    const double magnitude = std::fabs(value);
    const int integerDigits = magnitude >= 1 ? static_cast<int>(std::floor(std::log10(magnitude))) + 1 : 0;
    const int leadingZeros =
        magnitude > 0 && magnitude < 1 ? -static_cast<int>(std::floor(std::log10(magnitude))) - 1 : 0;
    const int decimals = magnitude == 0 ? 0 : std::max(0, 4 - integerDigits) + leadingZeros;
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return name + " " + text + " " + unit;
}

inline void report(const std::string& name, double value, const std::string& unit) {
    std::printf("%s\n", figureLine(name, value, unit).c_str());
    std::fflush(stdout);
}

// The greatest value of the nearest-rank p-th percentile (p in 0..100); 0 for no values.
inline double percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t rank = static_cast<size_t>(std::ceil(p / 100 * static_cast<double>(values.size())));
    return values[std::clamp<size_t>(rank, 1, values.size()) - 1];
}

// Keeps the compiler from dropping work whose result nothing reads.
inline void keep(const void* pointer) { asm volatile("" : : "g"(pointer) : "memory"); }

}  // namespace brisko::bench
