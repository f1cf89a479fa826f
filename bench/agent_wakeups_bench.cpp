// How often the agent's main loop wakes while idle and connected: the real Agent runs its loop
// on a thread of this program, connected to the test core, with a window monitor that sees no
// application. Every wake-up takes at least one message off the loop thread's queue, so the
// messages the loop takes (posted ones it removes, and ones other threads send it) count the
// wake-ups from above.
#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <future>
#include <thread>

#include "agent.h"
#include "bench_report.h"
#include "idle_monitor.h"
#include "test_core.h"
#include "test_core_endpoint.h"
#include "unique_handle.h"

namespace {

using namespace brisko;
using namespace std::chrono_literals;

constexpr auto kSettle = 2s;     // the connection's first exchange is not idle time
constexpr auto kMeasured = 20s;  // scaled to a minute below

std::atomic<long> messagesTaken{0};

LRESULT CALLBACK countTaken(int code, WPARAM removal, LPARAM message) {
    if (code == HC_ACTION && removal == PM_REMOVE) ++messagesTaken;
    return ::CallNextHookEx(nullptr, code, removal, message);
}

LRESULT CALLBACK countSent(int code, WPARAM fromThisThread, LPARAM message) {
    if (code == HC_ACTION && !fromThisThread) ++messagesTaken;
    return ::CallNextHookEx(nullptr, code, fromThisThread, message);
}

}  // namespace

int main() {
    testing::TestCore core(0);
    SilentNotifier notifier;
    InactiveProxyGuard proxyGuard;
    const auto agent = std::make_shared<Agent>(nullptr, notifier, proxyGuard, testing::idleMonitor(),
                                               performanceCounter(), testing::testCoreEndpoint(core.port()));
    std::promise<DWORD> loopThread;
    std::future<int> exitCode = std::async(std::launch::async, [&] {
        loopThread.set_value(::GetCurrentThreadId());
        return agent->run();
    });
    const DWORD thread = loopThread.get_future().get();

    const auto connectBy = std::chrono::steady_clock::now() + 20s;
    while (core.received().empty() && std::chrono::steady_clock::now() < connectBy) std::this_thread::sleep_for(50ms);
    int status = 0;
    if (core.received().empty()) {
        std::fprintf(stderr, "agent_wakeups_bench: the agent did not connect to the test core\n");
        status = 1;
    } else {
        std::this_thread::sleep_for(kSettle);
        UniqueHook taken(::SetWindowsHookExW(WH_GETMESSAGE, countTaken, nullptr, thread));
        UniqueHook sent(::SetWindowsHookExW(WH_CALLWNDPROC, countSent, nullptr, thread));
        if (!taken || !sent) {
            std::fprintf(stderr, "agent_wakeups_bench: cannot watch the loop thread (%lu)\n", ::GetLastError());
            status = 1;
        } else {
            messagesTaken = 0;
            std::this_thread::sleep_for(kMeasured);
            const double perMinute = static_cast<double>(messagesTaken.load()) * (60s / kMeasured);
            bench::report("agent_idle_connected_wakeups", perMinute, "per_minute");
        }
    }
    agent->stop();
    if (exitCode.wait_for(20s) != std::future_status::ready) {
        std::fprintf(stderr, "agent_wakeups_bench: the agent did not stop\n");
        std::_Exit(1);
    }
    return status;
}
