// The service RPC client in this process, where no service runs: binding needs no server, and
// every call that cannot reach one is caught, drops the list and asks the main thread to quit.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "agent.h"
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
    // Quit requests waiting in this thread's queue, taken out.
    int takeQuitRequests() {
        int count = 0;
        MSG message;
        while (::PeekMessageW(&message, nullptr, Agent::kQuitMessage, Agent::kQuitMessage, PM_REMOVE))
            if (message.hwnd == nullptr) ++count;
        return count;
    }

    std::vector<std::string> log;
    UIA::ActivityMonitor* listener = nullptr;
    ActivityMonitor activity{[this](UIA::ActivityMonitor& l) {
        listener = &l;
        return std::make_unique<ScriptedMonitor>(log);
    }};
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
