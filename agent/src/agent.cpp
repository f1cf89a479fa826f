#include "agent.h"

#include <objbase.h>

#include <utility>

#include "callback_boundary.h"
#include "core_link/core_protocol.h"
#include "core_link/notification_payloads.h"
#include "identification/process_identity.h"
#include "loop/window_class.h"
#include "service_rpc/activity_monitor.h"
#include "ui/notify_icon.h"
#include "ui/tray.h"

namespace brisko {
namespace {

constexpr wchar_t kWindowClass[] = L"Brisko::Agent";
constexpr DWORD kWakeMask = QS_ALLINPUT | QS_TOUCH | QS_POINTER;
constexpr DWORD kUserNameSize = 256;

// Balances a successful CoInitializeEx on every way out of the main loop.
class ComApartment {
public:
    ComApartment() : initialized_(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {}
    ~ComApartment() {
        if (initialized_) ::CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    bool initialized_;
};

}  // namespace

PeerCheck coreInLauncher() { return launcherOwnsPeer(parentProcessId(::GetCurrentProcessId())); }

const bool Agent::classRegistered = registerWindowClass(kWindowClass, &Agent::windowProc);

Agent::Agent(HINSTANCE instance, Notifier& notifier, ProxyGuard& proxyGuard, UIA::MonitorFactory monitorFactory,
             const MonotonicClock& clock, CoreEndpoint endpoint)
    : instance_(instance),
      notifier_(notifier),
      menu_(instance, *this),
      proxyGuard_(proxyGuard),
      monitorFactory_(std::move(monitorFactory)),
      clock_(clock),
      endpoint_(std::move(endpoint)) {}

Agent::~Agent() { closeConnection(); }

int Agent::run() {
    WSADATA data;
    if (::WSAStartup(0x0202, &data) != 0) return 1;
    taskbarCreatedMessage_ = ::RegisterWindowMessageW(L"TaskbarCreated");
    openConnection();
    mainLoop();
    closeConnection();
    ::WSACleanup();
    return 0;
}

void Agent::openConnection() {
    connection_ = std::make_unique<Connection>(weak_from_this(), endpoint_.host, endpoint_.port, endpoint_.retryInterval,
                                               endpoint_.peerCheck);
    if (!connection_->connect()) connection_->scheduleReconnect();
}

void Agent::closeConnection() {
    if (!connection_) return;
    connection_->shutdown();
    connection_.reset();
}

void Agent::mainLoop() {
    const ComApartment apartment;
    quit_.attach();
    // The service link and the window monitor run before the window exists and stop after it is
    // gone, inside the COM apartment. A service that cannot be reached ends the agent (the
    // service launches a new one).
    ActivityMonitor activity(monitorFactory_, [this] { quit_.request(); });
    activity.start();

    window_.reset(::CreateWindowExW(0, kWindowClass, kWindowClass, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                    CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance_, nullptr));
    if (window_) {
        ::SetWindowLongPtrW(window_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        quit_.setWindow(window_.get());
        notifier_.addTrayIcon(window_.get());
    }

    while (!quit_.requested()) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, kWakeMask);
        ++wakeUps_;
        takeMessages();
    }

    proxyGuard_.stop();
    if (window_) {
        notifier_.removeTrayIcon();
        quit_.setWindow(nullptr);
        ::SetWindowLongPtrW(window_.get(), GWLP_USERDATA, 0);
        window_.reset();
    }
    activity.stop();
}

// Thread messages are only dispatched (thread timers); a 0x401 or WM_QUIT among them is nothing
// but a wake-up, whoever posted it.
void Agent::takeMessages() {
    MSG message;
    while (!quit_.requested() && ::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.hwnd) ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

LRESULT CALLBACK Agent::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return callbackBoundary([&] { return handleMessage(window, message, wParam, lParam); },
                            [&] { return ::DefWindowProcW(window, message, wParam, lParam); });
}

LRESULT Agent::handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* agent = reinterpret_cast<Agent*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!agent) return ::DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
        case WM_DESTROY:
            return 0;
        // Only the agent ends its window (DefWindowProcW would destroy it, and the tray icon with it).
        case WM_CLOSE:
            return 0;
        case QuitRequest::kWakeMessage:
            agent->quit_.woken();
            return 0;
        case WM_COMMAND:
            agent->menu_.command(LOWORD(wParam));
            return 1;
        case WM_TIMER:
            if (wParam != kBalloonTimer) return ::DefWindowProcW(window, message, wParam, lParam);
            agent->notifier_.clearBalloon();
            return 1;
        case kTrayCallbackMessage:
            if (opensTrayMenu(LOWORD(lParam))) agent->menu_.show(window, agent->protection_, agent->clock_);
            return 0;
        default:
            // Explorer started again: its new notification area has no icon of ours yet.
            if (message == agent->taskbarCreatedMessage_ && message != 0) agent->notifier_.addTrayIcon(window);
            return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

void Agent::connectionChanged(Connection& connection, bool up) {
    if (!up) return;
    char name[kUserNameSize];
    DWORD size = kUserNameSize;
    if (!::GetUserNameA(name, &size) || name[0] == '\0') return;
    connection.send(sessionUserMessage(newRequestId(), name));
}

void Agent::requestProtectionChange(bool enable, int64_t durationMs, const std::string& password,
                                    Completion<int> completion) {
    if (!connection_) {
        completion(-1);
        return;
    }
    connection_->sendRequest(changeProtectionMessage(newRequestId(), password, enable, durationMs), Connection::Completion(std::make_shared<Completion<int>>(std::move(completion)),
                                                             [](const Completion<int>& done, const Message& response) {
                                                                 done(response.id < 0 ? response.code : -1);
                                                             }));
}

std::unique_ptr<Message> Agent::messageReceived(Connection&, const Message& message) {
    switch (notificationKind(message)) {
        case CoreNotification::ProtectionStatus:
            protectionStatus(message);
            break;
        case CoreNotification::ApplicationBlocked:
            applicationBlocked(message);
            break;
        case CoreNotification::ProxyConfiguration:
            proxyConfiguration(message);
            break;
        case CoreNotification::Other:
            break;
    }
    return nullptr;
}

void Agent::protectionStatus(const Message& message) {
    const bool initial = protection_.deadline == ProtectionState::kNoStatusYet;
    const ProtectionStatusPayload status = readProtectionStatus(message.payload);
    if (status.enabled) protection_.enabled = *status.enabled;
    if (!status.remainingMs) return;
    const int64_t now = clock_.now();
    protection_.deadline = deadlineAfter(*status.remainingMs, now, clock_.nanosecondsPerTick());
    // The first status after start only sets the state: nothing has changed for the user yet.
    if (initial) return;

    proxyGuard_.protectionChanged(protection_.enabled);
    if (!protection_.enabled) {
        const int minutes = minutesToShow(protection_.deadline, now, clock_.nanosecondsPerTick());
        if (minutes >= 1) notifier_.showBalloon({kDisabledTitle, {}}, ResourceString{kDisabledCountdown, minutes}, false);
        return;
    }
    notifier_.showBalloon({kEnabledTitle, {}}, std::wstring(L" "), true);
}

void Agent::applicationBlocked(const Message& message) {
    std::optional<ApplicationBlockedPayload> blocked = readApplicationBlocked(message.payload);
    if (!blocked) return;
    const UINT text = blocked->reason == 0 ? kBlockedTimeRange : blocked->reason == 1 ? kBlockedQuota : kBlockedDenied;
    notifier_.showBalloon({kBlockedTitle, std::move(blocked->name)}, ResourceString{text, {}}, true);
}

void Agent::proxyConfiguration(const Message& message) {
    const std::optional<ProxyConfigurationPayload> proxy = readProxyConfiguration(message.payload);
    if (!proxy) return;
    proxyGuard_.configure(*proxy, protection_.enabled);
}

}  // namespace brisko
