// The agent's run on a thread of its own: the main loop carries the socket events, re-applies the
// proxy when the watch fires, and ends on thread message 0x401 with the proxy removed; the window
// monitor runs inside the COM apartment around the window's life, and a report the service
// cannot take ends the loop.
#include <gtest/gtest.h>

#include <objbase.h>

#include <future>
#include <mutex>
#include <thread>

#include "agent.h"
#include "idle_monitor.h"
#include "test_core.h"

namespace brisko {
namespace {

using namespace std::chrono_literals;
using testing::TestCore;
using testing::waitUntil;

// Watches with a real event; the loop's thread and the test's share the record.
class EventProxyGuard : public ProxyGuard {
public:
    EventProxyGuard() : event_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    void setProxy(const std::string&, int, const std::string&, int, bool) override {}
    const std::string& proxySpec() const override { return spec_; }
    void applyProxy(const std::optional<std::string>& proxy) override { record("applyProxy(" + proxy.value_or("none") + ")"); }
    void startProxyWatch() override {}
    void rearmProxyWatch() override {
        ::ResetEvent(event_.get());
        record("rearmProxyWatch");
    }
    void stopProxyWatch() override {
        record("stopProxyWatch");
        watching_ = false;
    }
    bool isWatching() const override { return watching_; }
    HANDLE watchEvent() const override { return watching_ ? event_.get() : nullptr; }

    void fire() { ::SetEvent(event_.get()); }
    std::vector<std::string> calls() const {
        const std::lock_guard lock(mutex_);
        return calls_;
    }

private:
    void record(std::string call) {
        const std::lock_guard lock(mutex_);
        calls_.push_back(std::move(call));
    }
    UniqueHandle event_;
    std::string spec_ = "http=127.0.0.1:3128";
    bool watching_ = true;
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

TEST(AgentRun, LoopServesTheConnectionAndTheWatchUntilQuit) {
    TestCore core(0);
    SilentNotifier notifier;
    EventProxyGuard proxy;
    const auto agent = std::make_shared<Agent>(nullptr, notifier, proxy, testing::idleMonitor(), performanceCounter(),
                                               CoreEndpoint{"127.0.0.1", core.port(), 0.3});
    std::promise<DWORD> threadId;
    std::future<int> exitCode = std::async(std::launch::async, [&] {
        threadId.set_value(::GetCurrentThreadId());
        return agent->run();
    });
    const DWORD loopThread = threadId.get_future().get();

    ASSERT_TRUE(waitUntil([&] { return core.received().size() == 1; }, 10s)) << "SessionUser";
    proxy.fire();
    ASSERT_TRUE(waitUntil([&] { return proxy.calls().size() == 2; }, 10s));
    EXPECT_EQ(proxy.calls(), (std::vector<std::string>{"applyProxy(http=127.0.0.1:3128)", "rearmProxyWatch"}));

    ASSERT_TRUE(::PostThreadMessageW(loopThread, Agent::kQuitMessage, 0, 0));
    ASSERT_EQ(exitCode.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(exitCode.get(), 0);
    EXPECT_EQ(proxy.calls(), (std::vector<std::string>{"applyProxy(http=127.0.0.1:3128)", "rearmProxyWatch",
                                                       "applyProxy(none)", "stopProxyWatch"}));
    EXPECT_TRUE(waitUntil([&] { return core.disconnections() == 1; }, 10s)) << "the connection is shut down";
}

TEST(AgentRun, AReportTheServiceCannotTakeEndsTheLoop) {
    TestCore core(0);
    SilentNotifier notifier;
    EventProxyGuard proxy;
    std::vector<std::string> log;
    const auto agent = std::make_shared<Agent>(
        nullptr, notifier, proxy,
        [&](UIA::ActivityMonitor& listener) { return std::make_unique<ProbeMonitor>(listener, log); },
        performanceCounter(), CoreEndpoint{"127.0.0.1", core.port(), 0.3});
    std::future<int> exitCode = std::async(std::launch::async, [&] { return agent->run(); });

    ASSERT_EQ(exitCode.wait_for(20s), std::future_status::ready) << "the loop did not end itself";
    EXPECT_EQ(exitCode.get(), 0);
    EXPECT_EQ(log, (std::vector<std::string>{"start no window com", "stop no window com"}));
}

}  // namespace
}  // namespace brisko
