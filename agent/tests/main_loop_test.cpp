// The agent's run on a thread of its own: the main loop carries the socket events and ends when
// the agent stops itself, with the proxy guard stopped, and not for any message posted to it;
// the window monitor runs inside the COM apartment around the window's life, and a report the
// service cannot take ends the loop.
#include <gtest/gtest.h>

#include <objbase.h>

#include <atomic>
#include <future>
#include <mutex>
#include <new>
#include <stdexcept>
#include <thread>

#include "agent.h"
#include "idle_monitor.h"
#include "test_core.h"
#include "test_core_endpoint.h"
#include "ui/tray.h"

namespace brisko {
namespace {

using namespace std::chrono_literals;
using testing::TestCore;
using testing::waitUntil;

// The loop's thread and the test's share the record.
class RecordingProxyGuard : public ProxyGuard {
public:
    void configure(const ProxyConfigurationPayload&, bool) override { record("configure"); }
    void protectionChanged(bool enabled) override { record(enabled ? "protection on" : "protection off"); }
    void stop() override { record("stop"); }

    std::vector<std::string> calls() const {
        const std::lock_guard lock(mutex_);
        return calls_;
    }

private:
    void record(std::string call) {
        const std::lock_guard lock(mutex_);
        calls_.push_back(std::move(call));
    }
    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
};

// Notes where in the main loop the window monitor starts and stops; its first report goes to a
// service that does not run in this process.
class ProbeMonitor : public UIA::MonitorControl {
public:
    ProbeMonitor(UIA::ActivityMonitor& listener, std::vector<std::string>& log) : listener_(listener), log_(log) {}
    void start() override {
        log_.push_back(state("start"));
        listener_.reportInitial({});
    }
    void stop() override { log_.push_back(state("stop")); }

private:
    static std::string state(const std::string& event) {
        APTTYPE type;
        APTTYPEQUALIFIER qualifier;
        const bool com = SUCCEEDED(::CoGetApartmentType(&type, &qualifier));
        // The loop's own window: other test programs run agents of their own meanwhile.
        bool window = false;
        ::EnumThreadWindows(::GetCurrentThreadId(), &isAgentWindow, reinterpret_cast<LPARAM>(&window));
        return event + (window ? " window" : " no window") + (com ? " com" : " no com");
    }
    static BOOL CALLBACK isAgentWindow(HWND candidate, LPARAM found) {
        wchar_t name[32] = {};
        ::GetClassNameW(candidate, name, 32);
        if (::lstrcmpW(name, L"Brisko::Agent") == 0) *reinterpret_cast<bool*>(found) = true;
        return TRUE;
    }

    UIA::ActivityMonitor& listener_;
    std::vector<std::string>& log_;
};

BOOL CALLBACK takeAgentWindow(HWND candidate, LPARAM into) {
    wchar_t name[32] = {};
    ::GetClassNameW(candidate, name, 32);
    if (::lstrcmpW(name, L"Brisko::Agent") == 0) *reinterpret_cast<HWND*>(into) = candidate;
    return TRUE;
}

HWND agentWindow(DWORD thread) {
    HWND found = nullptr;
    ::EnumThreadWindows(thread, &takeAgentWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

TEST(AgentRun, LoopServesTheConnectionUntilTheAgentStopsItselfThenStopsTheGuard) {
    TestCore core(0);
    SilentNotifier notifier;
    RecordingProxyGuard proxy;
    const auto agent = std::make_shared<Agent>(nullptr, notifier, proxy, testing::idleMonitor(), performanceCounter(),
                                               testing::testCoreEndpoint(core.port(), 0.3));
    std::promise<DWORD> threadId;
    std::future<int> exitCode = std::async(std::launch::async, [&] {
        threadId.set_value(::GetCurrentThreadId());
        return agent->run();
    });
    const DWORD loopThread = threadId.get_future().get();

    ASSERT_TRUE(waitUntil([&] { return core.received().size() == 1; }, 10s)) << "SessionUser";
    ASSERT_TRUE(core.sendNotification(2, testing::pack({"127.0.0.1", int64_t{3128}, {}, {}})));
    ASSERT_TRUE(waitUntil([&] { return proxy.calls().size() == 1; }, 10s));

    // What anyone may post to the loop's thread and window, the old quit requests among them.
    const HWND window = agentWindow(loopThread);
    ASSERT_NE(window, nullptr);
    for (const UINT message : {UINT{WM_USER + 1}, UINT{WM_QUIT}, QuitRequest::kWakeMessage}) {
        ASSERT_TRUE(::PostThreadMessageW(loopThread, message, 0, 0));
        ASSERT_TRUE(::PostMessageW(window, message, 0, 0));
    }
    ASSERT_TRUE(::PostMessageW(window, WM_CLOSE, 0, 0));
    // The core's next frame reaches the loop after them.
    ASSERT_TRUE(core.sendNotification(2, testing::pack({"127.0.0.1", int64_t{3128}, {}, {}})));
    ASSERT_TRUE(waitUntil([&] { return proxy.calls().size() == 2; }, 10s)) << "the loop ended";
    EXPECT_EQ(exitCode.wait_for(0s), std::future_status::timeout);
    EXPECT_TRUE(::IsWindow(window));

    agent->stop();
    ASSERT_EQ(exitCode.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(exitCode.get(), 0);
    EXPECT_EQ(proxy.calls(), (std::vector<std::string>{"configure", "configure", "stop"}));
    EXPECT_TRUE(waitUntil([&] { return core.disconnections() == 1; }, 10s)) << "the connection is shut down";
}

// The tray's parts run inside the window procedure, under user32's dispatch: what they throw
// (here once the window is made) ends there, with the default answer, and the loop goes on.
class ThrowingNotifier final : public Notifier {
public:
    void addTrayIcon(HWND) override {
        if (!throwing) return;
        ++added;
        throw std::bad_alloc();
    }
    void removeTrayIcon() override {}
    void showBalloon(const ResourceString&, const BalloonText&, bool) override {}
    void clearBalloon() override {
        ++cleared;
        throw std::runtime_error("the shell is gone");
    }

    std::atomic<bool> throwing{false};
    std::atomic<int> added{0}, cleared{0};
};

TEST(AgentRun, WhatTheWindowsPartsThrowEndsInTheWindowProcedure) {
    TestCore core(0);
    ThrowingNotifier notifier;
    InactiveProxyGuard proxy;
    const auto agent = std::make_shared<Agent>(nullptr, notifier, proxy, testing::idleMonitor(), performanceCounter(),
                                               testing::testCoreEndpoint(core.port(), 0.3));
    std::promise<DWORD> threadId;
    std::future<int> exitCode = std::async(std::launch::async, [&] {
        threadId.set_value(::GetCurrentThreadId());
        return agent->run();
    });
    const DWORD loopThread = threadId.get_future().get();
    ASSERT_TRUE(waitUntil([&] { return core.received().size() == 1; }, 10s));
    const HWND window = agentWindow(loopThread);
    ASSERT_NE(window, nullptr);
    notifier.throwing = true;

    // Posted, so that the loop's own DispatchMessageW runs them, one after the other.
    ASSERT_TRUE(::PostMessageW(window, WM_TIMER, kBalloonTimer, 0));
    ASSERT_TRUE(::PostMessageW(window, ::RegisterWindowMessageW(L"TaskbarCreated"), 0, 0));
    ASSERT_TRUE(::PostMessageW(window, WM_TIMER, kBalloonTimer, 0));
    ASSERT_TRUE(waitUntil([&] { return notifier.cleared == 2 && notifier.added == 1; }, 10s))
        << notifier.cleared << " balloons cleared, " << notifier.added << " icons added";

    agent->stop();
    ASSERT_EQ(exitCode.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(exitCode.get(), 0);
}

TEST(AgentRun, AReportTheServiceCannotTakeEndsTheLoop) {
    TestCore core(0);
    SilentNotifier notifier;
    InactiveProxyGuard proxy;
    std::vector<std::string> log;
    const auto agent = std::make_shared<Agent>(
        nullptr, notifier, proxy,
        [&](UIA::ActivityMonitor& listener) { return std::make_unique<ProbeMonitor>(listener, log); },
        performanceCounter(), testing::testCoreEndpoint(core.port(), 0.3));
    std::future<int> exitCode = std::async(std::launch::async, [&] { return agent->run(); });

    ASSERT_EQ(exitCode.wait_for(20s), std::future_status::ready) << "the loop did not end itself";
    EXPECT_EQ(exitCode.get(), 0);
    EXPECT_EQ(log, (std::vector<std::string>{"start no window com", "stop no window com"}));
}

}  // namespace
}  // namespace brisko
