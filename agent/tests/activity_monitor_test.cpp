// The service RPC client in this process, where no service runs: binding needs no server, and
// every call that cannot reach one is caught, drops the list and reports the service lost.
#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

#include "service_rpc/activity_monitor.h"

namespace brisko {
namespace {

// A window monitor whose reports the test makes itself.
class ScriptedMonitor : public UIA::MonitorControl {
public:
    explicit ScriptedMonitor(std::vector<std::string>& log) : log_(log) {}
    void start() override { log_.push_back("start"); }
    void stop() override { log_.push_back("stop"); }

private:
    std::vector<std::string>& log_;
};

class ActivityMonitorTest : public ::testing::Test {
protected:
    // The reports of a lost service since the last look.
    int takeQuitRequests() { return std::exchange(lost, 0); }

    std::vector<std::string> log;
    UIA::ActivityMonitor* listener = nullptr;
    int lost = 0;
    ActivityMonitor activity{[this](UIA::ActivityMonitor& l) {
                                 listener = &l;
                                 return std::make_unique<ScriptedMonitor>(log);
                             },
                             [this] { ++lost; }};
};

TEST_F(ActivityMonitorTest, BindsWithoutAServiceAndRunsTheMonitorBetweenStartAndStop) {
    activity.start();
    EXPECT_EQ(listener, &activity);
    EXPECT_EQ(takeQuitRequests(), 0) << "a static endpoint binds without asking the service";
    activity.stop();
    EXPECT_EQ(log, (std::vector<std::string>{"start", "stop"}));
    EXPECT_EQ(takeQuitRequests(), 0) << "no list, nothing to close";
}

TEST_F(ActivityMonitorTest, CallsToAStoppedServiceOrWithAClosedListEndTheAgent) {
    activity.start();
    listener->reportInitial({{42, L"win32:a.exe", L"A"}, {43, L"", L""}});
    EXPECT_FALSE(activity.listOpen());
    EXPECT_EQ(takeQuitRequests(), 1) << "the service is not there";

    listener->reportStarted(44, L"win32:b.exe", L"B");
    EXPECT_EQ(takeQuitRequests(), 1) << "a report without a list fails the same way";
    listener->reportStopped(44, L"win32:b.exe", L"B");
    EXPECT_EQ(takeQuitRequests(), 1);

    activity.stop();
    EXPECT_EQ(takeQuitRequests(), 0);
    EXPECT_FALSE(activity.listOpen());
}

}  // namespace
}  // namespace brisko
