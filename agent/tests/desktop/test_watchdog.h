#pragma once
// Ends the test program, naming the test, when one test runs far longer than any should: a
// desktop test waits on another thread's windows, and a hang must show up as a failure.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

namespace brisko::testing {

class TestWatchdog final : public ::testing::EmptyTestEventListener {
public:
    void OnTestStart(const ::testing::TestInfo& test) override {
        Watch& watch = state();
        const std::lock_guard lock(watch.mutex);
        watch.name = std::string(test.test_suite_name()) + "." + test.name();
        watch.deadline = std::chrono::steady_clock::now() + watch.limit;
        watch.armed = true;
    }
    void OnTestEnd(const ::testing::TestInfo&) override {
        const std::lock_guard lock(state().mutex);
        state().armed = false;
    }

    // Installs the watchdog before the tests run; a static of the test program calls it.
    static bool install(std::chrono::seconds limit) {
        state().limit = limit;
        std::thread(&TestWatchdog::watch).detach();
        ::testing::UnitTest::GetInstance()->listeners().Append(new TestWatchdog);
        return true;
    }

private:
    struct Watch {
        std::mutex mutex;
        std::chrono::seconds limit{0};
        std::chrono::steady_clock::time_point deadline;
        bool armed = false;
        std::string name;
    };
    // Never destroyed: the watching thread outlives everything main and its statics own.
    static Watch& state() {
        static Watch* const watch = new Watch;
        return *watch;
    }
    static void watch() {
        for (;;) {
            std::this_thread::sleep_for(std::chrono::seconds(1));
            Watch& watch = state();
            const std::lock_guard lock(watch.mutex);
            if (!watch.armed || std::chrono::steady_clock::now() < watch.deadline) continue;
            std::fprintf(stderr, "\n%s ran longer than %lld s: ending the test program\n", watch.name.c_str(),
                         static_cast<long long>(watch.limit.count()));
            std::fflush(stderr);
            ::TerminateProcess(::GetCurrentProcess(), 4);
        }
    }
};

}  // namespace brisko::testing
