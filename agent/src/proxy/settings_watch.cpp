#include "proxy/settings_watch.h"

#include <utility>

#include "callback_boundary.h"
#include "loop/thread_protection.h"
#include "loop/window_class.h"
#include "system_proxy.h"

namespace brisko {
namespace {

constexpr wchar_t kWindowClass[] = L"Brisko::SettingsWatch";
constexpr UINT kChangedMessage = WM_APP + 0x30;

}  // namespace

const bool SettingsWatch::classRegistered = registerWindowClass(kWindowClass, &SettingsWatch::windowProc);

SettingsWatch::SettingsWatch(std::function<void()> changed) : changed_(std::move(changed)) {}

SettingsWatch::~SettingsWatch() { stop(); }

bool SettingsWatch::start() {
    if (active()) return true;
    ::RegOpenKeyExW(HKEY_CURRENT_USER, kInternetSettingsKey, 0, KEY_NOTIFY, key_.put());
    notified_.reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    stopping_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    // Message-only: it receives what is posted to it and nothing broadcast to the desktop.
    window_.reset(::CreateWindowExW(0, kWindowClass, kWindowClass, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                                    nullptr));
    if (!notified_ || !stopping_ || !window_) {
        stop();
        return false;
    }
    ::SetWindowLongPtrW(window_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    fired_ = false;
    thread_ = startAgentThread([this] { wait(); });
    if (!thread_) {
        stop();
        return false;
    }
    arm();
    return true;
}

void SettingsWatch::arm() {
    // One registration at a time: a write made while one is pending fires it, and the change it
    // reports is handled before the next registration is made.
    if (!active() || !key_ || armed_) return;
    if (::RegNotifyChangeKeyValue(key_.get(), TRUE, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                                  notified_.get(), TRUE) != ERROR_SUCCESS) {
        stop();
        return;
    }
    armed_ = true;
}

void SettingsWatch::stop() {
    if (thread_) {
        ::SetEvent(stopping_.get());
        ::WaitForSingleObject(thread_.get(), INFINITE);
        thread_.reset();
    }
    if (window_) ::SetWindowLongPtrW(window_.get(), GWLP_USERDATA, 0);
    window_.reset();
    armed_ = false;
    key_.reset();
    notified_.reset();
    stopping_.reset();
}

void SettingsWatch::wait() {
    const HANDLE events[] = {stopping_.get(), notified_.get()};
    while (::WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
        fired_ = true;
        ::PostMessageW(window_.get(), kChangedMessage, 0, 0);
    }
}

LRESULT CALLBACK SettingsWatch::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return callbackBoundary([&] { return handleMessage(window, message, wParam, lParam); },
                            [&] { return ::DefWindowProcW(window, message, wParam, lParam); });
}

LRESULT SettingsWatch::handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // Only the watch ends its window: without it no change would be handled.
    if (message == WM_CLOSE) return 0;
    auto* watch = reinterpret_cast<SettingsWatch*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!watch || message != kChangedMessage) return ::DefWindowProcW(window, message, wParam, lParam);
    // Only a notification the thread saw counts; what anyone else posts finds the flag clear.
    if (!watch->fired_.exchange(false)) return 0;
    watch->armed_ = false;
    watch->changed_();
    return 0;
}

}  // namespace brisko
