#pragma once
// A first-in-first-out queue that any thread may push to and pop from.
#include <deque>
#include <mutex>
#include <optional>

namespace brisko {

template <typename T>
class ConcurrentQueue {
public:
    void push(T value) {
        const std::lock_guard lock(mutex_);
        items_.push_back(std::move(value));
    }

    std::optional<T> tryPop() {
        const std::lock_guard lock(mutex_);
        if (items_.empty()) return std::nullopt;
        T value = std::move(items_.front());
        items_.pop_front();
        return value;
    }

private:
    std::mutex mutex_;
    std::deque<T> items_;
};

}  // namespace brisko
