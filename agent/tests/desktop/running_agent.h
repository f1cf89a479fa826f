#pragma once
// The agent with its desktop presence, running its main loop on a thread of its own against the
// test core, so a test can act as the user from its own thread: post the shell's clicks to the
// agent window and read and drive the menu and dialogs that thread opens.
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "agent.h"
#include "proxy_guard.h"
#include "test_core.h"
#include "ui/tray.h"
#include "unique_handle.h"

namespace brisko::testing {

class RunningAgent {
public:
    // The agent's texts and dialogs are those linked into the test program.
    explicit RunningAgent(TrayShell& shell, UINT balloonPeriod = Tray::kBalloonPeriod);
    // Ends the main loop, and with it whatever menu or dialog is open.
    ~RunningAgent();
    RunningAgent(const RunningAgent&) = delete;
    RunningAgent& operator=(const RunningAgent&) = delete;

    // False when the agent did not connect to the test core or create its window.
    bool started() const { return window_ != nullptr; }
    // Ends the main loop; false when it did not end.
    bool stop();

    HWND window() const { return window_; }
    DWORD threadId() const { return threadId_; }
    TestCore& core() { return core_; }
    Agent& agent() { return *agent_; }

    // Runs the call on the agent's thread, between its messages or inside whatever modal loop
    // that thread is in.
    void onAgentThread(const std::function<void()>& call);
    ProtectionState protection();
    // Sends ProtectionStatus and waits until the agent holds it; false when it never did.
    bool setStatus(bool enabled, int64_t remainingMs);

    // What the shell sends for a mouse event on the icon, and what a menu choice sends.
    void clickIcon(UINT mouseEvent = WM_RBUTTONDOWN);
    void command(UINT id);
    // Waits until the agent's thread has taken every message posted to it before this call
    // (a command that opens a dialog has by then opened it); false when it did not.
    bool settle();
    // Returns once a thread timer of the agent's thread due after the delay has fired: a timer
    // of that thread due earlier has had its chance by then. False when it did not fire.
    bool letTimersFire(std::chrono::milliseconds delay);
    // The menu the last click opened; null when none.
    HWND waitForMenu();
    // The visible dialog holding a control with this id; null when none.
    HWND waitForDialog(int controlId);
    // The visible dialog with this caption; null when none.
    HWND waitForDialogTitled(const std::wstring& caption);

private:
    [[noreturn]] static void abandon(const char* what);

    TestCore core_{0};
    Tray tray_;
    InactiveProxyGuard proxyGuard_;
    std::shared_ptr<Agent> agent_;
    UniqueHandle ended_{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::thread thread_;
    DWORD threadId_ = 0;
    HWND probe_ = nullptr;
    HWND window_ = nullptr;
    bool running_ = false;
};

}  // namespace brisko::testing
