#include "protection.h"

namespace brisko::democore {

int32_t Protection::change(const std::vector<testing::Value>& values, Clock::time_point now) {
    if (values.size() < 3) return kMalformedRequest;
    const auto* password = std::get_if<std::string>(&values[0]);
    const auto* enable = std::get_if<bool>(&values[1]);
    const auto* duration = std::get_if<int64_t>(&values[2]);
    if (!password || !enable || !duration) return kMalformedRequest;
    if (!password_ || *password != *password_) return kWrongPassword;
    const std::lock_guard guard(lock_);
    enabled_ = *enable;
    until_.reset();
    if (!enabled_ && *duration > 0) until_ = now + std::chrono::milliseconds(*duration);
    return kChangeDone;
}

ProtectionStatus Protection::status(Clock::time_point now) {
    const std::lock_guard guard(lock_);
    if (until_ && now >= *until_) {
        enabled_ = true;
        until_.reset();
    }
    ProtectionStatus status{enabled_, 0};
    if (until_) status.remainingMs = std::chrono::ceil<std::chrono::milliseconds>(*until_ - now).count();
    return status;
}

std::optional<Clock::time_point> Protection::deadline() const {
    const std::lock_guard guard(lock_);
    return until_;
}

}  // namespace brisko::democore
