#pragma once
// The session agent: owns the core connection, the hidden window and the main loop, and acts on
// the core's notifications.
#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "core_link/connection.h"
#include "core_link/peer_check.h"
#include "core_link/protection_state.h"
#include "loop/monotonic_clock.h"
#include "loop/quit_request.h"
#include "notifier.h"
#include "proxy_guard.h"
#include "uia/activity_listener.h"
#include "ui/protection_changer.h"
#include "ui/tray_menu.h"
#include "unique_handle.h"

namespace brisko {

// The core is the process that launched the agent, which hosts it with the service: the socket
// at the other end of the agent's connection must be that process's.
PeerCheck coreInLauncher();

// Where the core listens, how often a lost connection is retried, and who may be the core.
struct CoreEndpoint {
    std::string host = "127.0.0.1";
    uint16_t port = 3800;
    double retryInterval = 10.0;
    PeerCheck peerCheck = coreInLauncher();
};

class Agent : public Connection::Handler, public ProtectionChanger, public std::enable_shared_from_this<Agent> {
public:
    // The notifier shows the tray icon and balloons (a Tray in the shipped agent); the monitor
    // factory gives the window monitor whose reports go to the service (UIA::createMonitor).
    Agent(HINSTANCE instance, Notifier& notifier, ProxyGuard& proxyGuard, UIA::MonitorFactory monitorFactory,
          const MonotonicClock& clock = performanceCounter(), CoreEndpoint endpoint = {});
    ~Agent() override;
    Agent(const Agent&) = delete;
    Agent& operator=(const Agent&) = delete;

    // Connects, runs the main loop until the agent itself asks to quit, then shuts down. Returns
    // the process's exit code: 1 when Winsock cannot start, else 0. Needs the agent to be owned by
    // a shared_ptr.
    int run();
    // The orderly stop, from any thread of this process: the main loop ends at its next turn, and
    // a dialog or menu open meanwhile closes. No message from outside can ask for it.
    void stop() { quit_.request(); }

    // The connection's part of run, apart so tests can drive it on their own thread's messages.
    void openConnection();
    void closeConnection();

    // Sends ChangeProtection; the completion receives the core's result (0 done, 3 wrong
    // password, other failure) or -1 when the connection is lost before the answer.
    void requestProtectionChange(bool enable, int64_t durationMs, const std::string& password,
                                 Completion<int> completion) override;

    void connectionChanged(Connection& connection, bool up) override;
    std::unique_ptr<Message> messageReceived(Connection& connection, const Message& message) override;

    const ProtectionState& protection() const { return protection_; }
    int32_t newRequestId() { return nextRequestId_.fetch_add(1); }
    // How often the main loop's wait has returned, for the idle benchmark.
    uint32_t wakeUps() const { return wakeUps_.load(); }

private:
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static const bool classRegistered;

    void mainLoop();
    void takeMessages();
    void protectionStatus(const Message& message);
    void applicationBlocked(const Message& message);
    void proxyConfiguration(const Message& message);

    std::atomic<int32_t> nextRequestId_{1};
    std::atomic<uint32_t> wakeUps_{0};
    UINT taskbarCreatedMessage_ = 0;
    std::unique_ptr<Connection> connection_;
    ProtectionState protection_;
    QuitRequest quit_;
    UniqueWindow window_;
    HINSTANCE instance_;
    Notifier& notifier_;
    TrayMenu menu_;
    ProxyGuard& proxyGuard_;
    UIA::MonitorFactory monitorFactory_;
    const MonotonicClock& clock_;
    CoreEndpoint endpoint_;
};

}  // namespace brisko
