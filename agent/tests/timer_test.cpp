// Thread timers of the main thread, fired by pumping this thread's messages.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "loop/timer.h"
#include "test_core.h"

namespace brisko {
namespace {

using namespace std::chrono_literals;
using brisko::testing::waitUntil;

// Returns once a timer of this thread due in that many seconds has fired: by then a timer due
// earlier that was still scheduled has had its chance to fire.
void letTimersFire(double seconds) {
    bool fired = false;
    Timer probe(Timer::now() + seconds, 0, [&](Timer&) { fired = true; });
    probe.schedule();
    ASSERT_TRUE(waitUntil([&] { return fired; }, 5s));
}

TEST(Timer, OneShotFiresOnceAndIsUnscheduledBeforeItsCallback) {
    int fired = 0;
    bool scheduledInCallback = true;
    Timer timer(Timer::now() + 0.05, 0, [&](Timer& t) {
        ++fired;
        scheduledInCallback = t.isScheduled();
    });
    timer.schedule();
    ASSERT_TRUE(timer.isScheduled());
    ASSERT_TRUE(waitUntil([&] { return fired > 0; }, 5s));
    EXPECT_FALSE(scheduledInCallback);
    letTimersFire(0.3);
    EXPECT_EQ(fired, 1);
}

TEST(Timer, RepeatsAtItsIntervalUntilStopped) {
    int fired = 0;
    Timer timer(Timer::now() + 0.02, 0.05, [&](Timer&) { ++fired; });
    timer.schedule();
    ASSERT_TRUE(waitUntil([&] { return fired >= 3; }, 5s));
    timer.stop();
    const int stoppedAt = fired;
    letTimersFire(0.3);
    EXPECT_EQ(fired, stoppedAt);
}

TEST(Timer, CallbackMayDestroyItsTimer) {
    int fired = 0;
    std::unique_ptr<Timer> timer;
    timer = std::make_unique<Timer>(Timer::now() + 0.02, 0.05, [&](Timer&) {
        ++fired;
        timer.reset();
    });
    timer->schedule();
    ASSERT_TRUE(waitUntil([&] { return timer == nullptr; }, 5s));
    letTimersFire(0.3);
    EXPECT_EQ(fired, 1);
}

TEST(Timer, AnExceptionEndsOneRunOfTheCallbackOnly) {
    int fired = 0;
    Timer timer(Timer::now() + 0.02, 0.05, [&](Timer&) {
        ++fired;
        throw std::runtime_error("callback failed");
    });
    timer.schedule();
    EXPECT_TRUE(waitUntil([&] { return fired >= 3; }, 5s)) << "the repeating timer goes on firing";
}

TEST(Timer, NowCountsFrom2001) {
    // 2020-01-01 00:00 UTC is 599,616,000 s after 2001-01-01; any run of this test is later.
    EXPECT_GT(Timer::now(), 599616000.0);
    EXPECT_LT(Timer::now(), 599616000.0 + 100 * 365.25 * 86400);
}

}  // namespace
}  // namespace brisko
