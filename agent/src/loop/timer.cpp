#include "loop/timer.h"

#include <unordered_map>

namespace brisko {
namespace {

// Only the main thread touches it, so it needs no lock.
std::unordered_map<UINT_PTR, Timer*>& timerRegistry() {
    static std::unordered_map<UINT_PTR, Timer*> registry;
    return registry;
}

constexpr double kSecondsFrom1601To2001 = 12622780800.0;

UINT toMilliseconds(double seconds) {
    if (seconds <= 0) return 0;
    // SetTimer takes no more than USER_TIMER_MAXIMUM; a longer wait is cut to it.
    const double milliseconds = seconds * 1000.0;
    return milliseconds >= USER_TIMER_MAXIMUM ? USER_TIMER_MAXIMUM : static_cast<UINT>(milliseconds);
}

}  // namespace

Timer::Timer(double fireDate, double interval, Callback callback)
    : fireDate_(fireDate), interval_(interval), callback_(std::move(callback)) {}

Timer::~Timer() {
    stop();
    callback_ = nullptr;
}

double Timer::now() {
    FILETIME time;
    ::GetSystemTimeAsFileTime(&time);
    const ULONGLONG ticks = (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    return static_cast<double>(ticks) / 10000000.0 - kSecondsFrom1601To2001;
}

void Timer::schedule() {
    if (identifier_ != 0) return;
    scheduled_ = true;
    const UINT_PTR identifier = ::SetTimer(nullptr, 0, toMilliseconds(fireDate_ - now()), &Timer::timerProc);
    if (identifier == 0) return;
    identifier_ = identifier;
    timerRegistry()[identifier] = this;
}

void Timer::stop() {
    if (identifier_ == 0) return;
    ::KillTimer(nullptr, identifier_);
    timerRegistry().erase(identifier_);
    identifier_ = 0;
}

void CALLBACK Timer::timerProc(HWND, UINT, UINT_PTR identifier, DWORD) {
    const auto found = timerRegistry().find(identifier);
    if (found == timerRegistry().end()) return;
    Timer& timer = *found->second;
    if (timer.interval_ > 0 && timer.scheduled_) {
        ::SetTimer(nullptr, identifier, toMilliseconds(timer.interval_), &Timer::timerProc);
    } else if (timer.interval_ <= 0) {
        timer.stop();
    }
    // The callback may destroy the timer, and with it the stored function: a copy is called, and
    // nothing of the timer is touched after it. An exception must not unwind through the system's
    // dispatch code: it ends this run of the callback, and a repeating timer fires again.
    const Callback callback = timer.callback_;
    try {
        callback(timer);
    } catch (...) {
    }
}

}  // namespace brisko
