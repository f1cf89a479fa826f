#include "running_agent.h"

#include <cstdio>
#include <cstdlib>
#include <future>

#include "desktop_windows.h"
#include "idle_monitor.h"
#include "loop/timer.h"
#include "loop/window_class.h"
#include "test_core_endpoint.h"
#include "ui/notify_icon.h"

namespace brisko::testing {
namespace {

using namespace std::chrono_literals;

constexpr wchar_t kProbeClass[] = L"Brisko::TestProbe";
constexpr UINT kRunCall = WM_APP + 7;  // sent: lParam is the call
constexpr UINT kMarker = WM_APP + 8;   // posted: lParam is an event to set

LRESULT CALLBACK probeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case kRunCall:
            (*reinterpret_cast<const std::function<void()>*>(lParam))();
            return 0;
        case kMarker:
            ::SetEvent(reinterpret_cast<HANDLE>(lParam));
            return 0;
        default:
            return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

const bool probeRegistered = registerWindowClass(kProbeClass, &probeProc);

}  // namespace

RunningAgent::RunningAgent(TrayShell& shell, UINT balloonPeriod) : tray_(::GetModuleHandleW(nullptr), shell, balloonPeriod) {
    agent_ = std::make_shared<Agent>(::GetModuleHandleW(nullptr), tray_, proxyGuard_, idleMonitor(), performanceCounter(),
                                     testing::testCoreEndpoint(core_.port(), 0.3));
    std::promise<std::pair<DWORD, HWND>> ready;
    thread_ = std::thread([this, &ready] {
        // A message-only window: it carries calls onto this thread and is not one of the
        // thread's visible windows.
        const HWND probe = ::CreateWindowExW(0, kProbeClass, kProbeClass, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                             nullptr, nullptr);
        ready.set_value({::GetCurrentThreadId(), probe});
        agent_->run();
        ::DestroyWindow(probe);
        ::SetEvent(ended_.get());
    });
    std::future<std::pair<DWORD, HWND>> started = ready.get_future();
    if (started.wait_for(20s) != std::future_status::ready) abandon("did not start");
    std::tie(threadId_, probe_) = started.get();
    running_ = true;
    if (!waitUntil([&] { return !core_.received().empty(); }, 10s)) return;
    // The agent window is never shown.
    waitUntil(
        [&] {
            const std::vector<HWND> windows = threadWindows(threadId_, L"Brisko::Agent", false);
            if (!windows.empty()) window_ = windows.front();
            return window_ != nullptr;
        },
        10s);
}

// A thread still running the agent cannot be left behind with the agent's parts destroyed
// around it: the test program ends at once, and loudly, instead of hanging or crashing later.
[[noreturn]] void RunningAgent::abandon(const char* what) {
    std::fprintf(stderr, "the agent's thread %s; ending the test program\n", what);
    std::fflush(stderr);
    ::TerminateProcess(::GetCurrentProcess(), 3);
    std::abort();
}

RunningAgent::~RunningAgent() {
    if (!stop()) abandon("did not end its main loop");
}

// The agent's own stop also ends whatever menu or dialog is open.
bool RunningAgent::stop() {
    if (!running_) return true;
    agent_->stop();
    if (::WaitForSingleObject(ended_.get(), 20000) != WAIT_OBJECT_0) return false;
    thread_.join();
    running_ = false;
    return true;
}

void RunningAgent::onAgentThread(const std::function<void()>& call) {
    DWORD_PTR result = 0;
    if (!::SendMessageTimeoutW(probe_, kRunCall, 0, reinterpret_cast<LPARAM>(&call), SMTO_NORMAL, 20000, &result))
        abandon("does not answer");  // the call could still run later, on a frame gone by then
}

ProtectionState RunningAgent::protection() {
    ProtectionState state;
    onAgentThread([&] { state = agent_->protection(); });
    return state;
}

bool RunningAgent::setStatus(bool enabled, int64_t remainingMs) {
    const ProtectionState before = protection();
    if (!core_.sendNotification(0, pack({enabled, remainingMs}))) return false;
    return waitUntil(
        [&] {
            const ProtectionState now = protection();
            return now.enabled == enabled && now.deadline != before.deadline;
        },
        10s);
}

void RunningAgent::clickIcon(UINT mouseEvent) { ::PostMessageW(window_, kTrayCallbackMessage, kTrayIconId, mouseEvent); }

void RunningAgent::command(UINT id) { ::PostMessageW(window_, WM_COMMAND, MAKEWPARAM(id, 0), 0); }

bool RunningAgent::settle() {
    const UniqueHandle handled(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ::PostMessageW(probe_, kMarker, 0, reinterpret_cast<LPARAM>(handled.get()));
    return ::WaitForSingleObject(handled.get(), 10000) == WAIT_OBJECT_0;
}

bool RunningAgent::letTimersFire(std::chrono::milliseconds delay) {
    const UniqueHandle fired(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::unique_ptr<Timer> probe;
    onAgentThread([&] {
        probe = std::make_unique<Timer>(Timer::now() + std::chrono::duration<double>(delay).count(), 0,
                                        [event = fired.get()](Timer&) { ::SetEvent(event); });
        probe->schedule();
    });
    const bool done = ::WaitForSingleObject(fired.get(), static_cast<DWORD>(delay.count()) + 10000) == WAIT_OBJECT_0;
    onAgentThread([&] { probe.reset(); });
    return done;
}

HWND RunningAgent::waitForMenu() { return waitForWindow(threadId_, kMenuClass, [](HWND) { return true; }); }

HWND RunningAgent::waitForDialog(int controlId) {
    return waitForWindow(threadId_, kDialogClass, [&](HWND dialog) { return hasItem(dialog, controlId); });
}

HWND RunningAgent::waitForDialogTitled(const std::wstring& caption) {
    return waitForWindow(threadId_, kDialogClass, [&](HWND dialog) { return windowText(dialog) == caption; });
}

}  // namespace brisko::testing
