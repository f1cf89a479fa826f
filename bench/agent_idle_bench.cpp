// How often the agent's main loop wakes while nothing happens: connected to the core, tray icon
// shown in the real notification area, no balloon pending. Beside it, in the same run, a bare
// loop of the same kind (a hidden window, the same wait) gives the baseline: whatever the
// platform itself delivers. Then one auto-hide balloon shows that the count sees the timer.
//   agent_idle_bench [seconds, default 60]
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "desktop/running_agent.h"
#include "loop/window_class.h"
#include "test_core.h"

namespace {

using namespace std::chrono_literals;
using brisko::testing::RunningAgent;

constexpr wchar_t kBareClass[] = L"Brisko::BareLoop";
constexpr DWORD kWakeMask = QS_ALLINPUT | QS_TOUCH | QS_POINTER;
constexpr UINT kStop = WM_USER + 1;

const bool bareRegistered = brisko::registerWindowClass(kBareClass, &::DefWindowProcW);

// The agent's loop without the agent: a hidden window and the same wait, counting its returns.
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
    DWORD threadId_ = 0;
    std::thread thread_;
};

double perMinute(uint32_t count, double seconds) { return count * 60.0 / seconds; }

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 60.0;
    if (seconds <= 0) {
        std::fprintf(stderr, "usage: agent_idle_bench [seconds]\n");
        return 2;
    }
    brisko::SystemTrayShell shell;
    RunningAgent agent(shell);
    if (!agent.started()) {
        std::fprintf(stderr, "the agent did not start\n");
        return 1;
    }
    BareLoop bare;
    std::this_thread::sleep_for(2s);  // start-up messages settle

    const auto period = std::chrono::duration<double>(seconds);
    const uint32_t agentBefore = agent.agent().wakeUps(), bareBefore = bare.wakeUps();
    std::this_thread::sleep_for(period);
    const uint32_t agentIdle = agent.agent().wakeUps() - agentBefore, bareIdle = bare.wakeUps() - bareBefore;

    const uint32_t beforeBalloon = agent.agent().wakeUps();
    agent.core().sendNotification(1, brisko::testing::pack({"win32:game.exe", "Game", int64_t{1}}));
    std::this_thread::sleep_for(std::chrono::milliseconds(brisko::Tray::kBalloonPeriod) + 2s);
    const uint32_t balloon = agent.agent().wakeUps() - beforeBalloon;

    std::printf("Main-loop wake-ups while idle, over %.0f s (connected, tray icon shown, no balloon):\n", seconds);
    std::printf("  bare loop (baseline)   %6u  = %8.2f per minute\n", bareIdle, perMinute(bareIdle, seconds));
    std::printf("  agent with tray icon   %6u  = %8.2f per minute\n", agentIdle, perMinute(agentIdle, seconds));
    if (bareIdle > 0)
        std::printf("  ratio agent / bare     %8.2f\n", static_cast<double>(agentIdle) / bareIdle);
    else
        std::printf("  agent beyond baseline  %8.2f per minute\n", perMinute(agentIdle, seconds));
    std::printf("One auto-hide balloon (its frame, the shell call, the clearing timer): %u wake-ups\n", balloon);
    return 0;
}
