#pragma once
// Thread timers of the main thread: SetTimer without a window, dispatched by the main loop
// (or by any modal loop running on that thread).
#include <windows.h>

#include <functional>

namespace brisko {

class Timer {
public:
    // An exception from the callback ends that run of it and is not seen elsewhere.
    using Callback = std::function<void(Timer&)>;

    // fireDate and interval in seconds; fireDate counts from 2001-01-01 00:00 UTC, an
    // interval of 0 or less makes a one-shot timer.
    Timer(double fireDate, double interval, Callback callback);
    ~Timer();
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    void schedule();
    void stop();

    // Seconds since 2001-01-01 00:00 UTC, from the system time.
    static double now();

    double fireDate() const { return fireDate_; }
    double interval() const { return interval_; }
    bool isScheduled() const { return identifier_ != 0; }

private:
    static void CALLBACK timerProc(HWND, UINT, UINT_PTR identifier, DWORD);

    double fireDate_;
    double interval_;
    Callback callback_;
    UINT_PTR identifier_ = 0;
    bool scheduled_ = false;
};

}  // namespace brisko
