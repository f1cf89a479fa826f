// The agent's run on a thread of its own: the main loop carries the socket events, re-applies the
// proxy when the watch fires, and ends on thread message 0x401 with the proxy removed.
#include <gtest/gtest.h>

#include <future>
#include <mutex>
#include <thread>

#include "agent.h"
#include "test_core.h"

namespace brisko {
namespace {

using namespace std::chrono_literals;
using testing::TestCore;
using testing::waitUntil;

class Silent : public Notifier {
    void showBalloon(const ResourceString&, const BalloonText&, bool) override {}
    void clearBalloon() override {}
};

// Watches with a real event; the loop's thread and the test's share the record.
class EventProxyGuard : public ProxyGuard {
public:
    EventProxyGuard() : event_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    void setProxy(const std::string&, int, const std::string&, int) override {}
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

TEST(AgentRun, LoopServesTheConnectionAndTheWatchUntilQuit) {
    TestCore core(0);
    Silent notifier;
    EventProxyGuard proxy;
    const auto agent = std::make_shared<Agent>(nullptr, notifier, proxy, performanceCounter(),
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

}  // namespace
}  // namespace brisko
