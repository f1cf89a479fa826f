#pragma once
// The core's protection state and its answer to ChangeProtection (password, enable, duration
// in milliseconds). Pure: the clock is the caller's.
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "test_core.h"

namespace brisko::democore {

using Clock = std::chrono::steady_clock;

// ChangeProtection results as the agent reads them.
constexpr int32_t kChangeDone = 0;
constexpr int32_t kMalformedRequest = 1;
constexpr int32_t kWrongPassword = 3;

struct ProtectionStatus {
    bool enabled = true;
    int64_t remainingMs = 0;  // 0: no end time
};

class Protection {
public:
    // `password` is the parents' password in the 8-bit form the agent sends; none refuses all.
    explicit Protection(std::optional<std::string> password) : password_(std::move(password)) {}

    // A ChangeProtection request's payload values; on success the state changes: disabled for
    // the duration (none when it is 0 or less), or enabled again.
    int32_t change(const std::vector<testing::Value>& values, Clock::time_point now);
    // A disabled period that has run out is over: protection is enabled again.
    ProtectionStatus status(Clock::time_point now);
    // When the disabled period ends, if there is one.
    std::optional<Clock::time_point> deadline() const;

private:
    const std::optional<std::string> password_;
    mutable std::mutex lock_;
    bool enabled_ = true;
    std::optional<Clock::time_point> until_;
};

}  // namespace brisko::democore
