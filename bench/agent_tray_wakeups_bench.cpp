// How often the agent's main loop wakes while nothing happens, with its tray icon shown in the
// real notification area: connected to the core, no balloon pending. Beside it, in the same run,
// a bare loop of the same kind (a hidden window, the same wait) gives the baseline: whatever the
// platform itself delivers. The loops count their own returns from the wait. Then one auto-hide
// balloon shows that the count sees the agent's timer.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "bench_report.h"
#include "desktop/running_agent.h"
#include "loop/window_class.h"
#include "test_core.h"

namespace {

using namespace std::chrono_literals;
using brisko::testing::RunningAgent;

constexpr auto kSettle = 2s;     // the connection's first exchange and the icon are not idle time
constexpr auto kMeasured = 20s;  // scaled to a minute below
constexpr wchar_t kBareClass[] = L"Brisko::BareLoop";
constexpr DWORD kWakeMask = QS_ALLINPUT | QS_TOUCH | QS_POINTER;
constexpr UINT kStop = WM_USER + 1;

const bool bareRegistered = brisko::registerWindowClass(kBareClass, &::DefWindowProcW);

// The agent's loop without the agent.
class BareLoop {
public:
    BareLoop() {
        thread_ = std::thread([this] {
            threadId_ = ::GetCurrentThreadId();
            const HWND window = ::CreateWindowExW(0, kBareClass, kBareClass, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, nullptr,
                                                  nullptr);
            ready_ = true;
            for (bool stop = false; !stop;) {
                ::MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, kWakeMask);
                ++wakeUps_;
                MSG message;
                while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                    if (!message.hwnd && message.message == kStop) stop = true;
                    ::DispatchMessageW(&message);
                }
            }
            ::DestroyWindow(window);
        });
        while (!ready_) std::this_thread::sleep_for(10ms);
    }
    ~BareLoop() {
        ::PostThreadMessageW(threadId_, kStop, 0, 0);
        thread_.join();
    }
    uint32_t wakeUps() const { return wakeUps_; }

private:
    std::atomic<uint32_t> wakeUps_{0};
    std::atomic<bool> ready_{false};
    std::atomic<DWORD> threadId_{0};
    std::thread thread_;
};

}  // namespace

int main() {
    brisko::SystemTrayShell shell;
    RunningAgent agent(shell);
    if (!agent.started()) {
        std::fprintf(stderr, "agent_tray_wakeups_bench: the agent did not connect to the test core\n");
        return 1;
    }
    BareLoop bare;
    std::this_thread::sleep_for(kSettle);

    const uint32_t agentBefore = agent.agent().wakeUps(), bareBefore = bare.wakeUps();
    std::this_thread::sleep_for(kMeasured);
    const double scale = 60s / kMeasured;
    const double agentIdle = (agent.agent().wakeUps() - agentBefore) * scale;
    const double bareIdle = (bare.wakeUps() - bareBefore) * scale;

    const uint32_t beforeBalloon = agent.agent().wakeUps();
    agent.core().sendNotification(1, brisko::testing::pack({"win32:game.exe", "Game", int64_t{1}}));
    std::this_thread::sleep_for(std::chrono::milliseconds(brisko::Tray::kBalloonPeriod) + kSettle);
    const uint32_t balloon = agent.agent().wakeUps() - beforeBalloon;

    brisko::bench::report("bare_loop_idle_wakeups", bareIdle, "per_minute");
    brisko::bench::report("agent_tray_idle_wakeups", agentIdle, "per_minute");
    brisko::bench::report("agent_tray_idle_wakeups_beyond_bare", agentIdle - bareIdle, "per_minute");
    brisko::bench::report("agent_autohide_balloon_wakeups", balloon, "wakeups");
    return 0;
}
