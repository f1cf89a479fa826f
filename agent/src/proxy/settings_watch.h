#pragma once
// Notices changes under the user's Internet Settings for the guard. A thread of its own waits
// for the registry's notification and posts a message to a window of the guard's thread, so the
// change is handled by whatever message loop that thread is in: the main loop, or the modal loop
// of a dialog, a message box or the tray menu. A message posted from anywhere else does nothing.
#include <windows.h>

#include <atomic>
#include <functional>

#include "unique_handle.h"

namespace brisko {

class SettingsWatch {
public:
    // changed runs on the thread that started the watch, once per notification.
    explicit SettingsWatch(std::function<void()> changed);
    ~SettingsWatch();
    SettingsWatch(const SettingsWatch&) = delete;
    SettingsWatch& operator=(const SettingsWatch&) = delete;

    // Opens the key and starts the waiting thread, then arms; does nothing while active. A key
    // that cannot be opened leaves the watch active but deaf, so that what it guards is still
    // taken away when it stops. False when the thread or its window cannot be made.
    bool start();
    // For the next change after the caller's own write; nothing while a registration is pending.
    // A refused registration stops the watch.
    void arm();
    void stop();
    bool active() const { return static_cast<bool>(window_); }

private:
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static const bool classRegistered;
    void wait();

    std::function<void()> changed_;
    UniqueKey key_;
    UniqueHandle notified_;  // auto-reset: one notification, one wake-up of the thread
    UniqueHandle stopping_;
    UniqueWindow window_;
    std::atomic<bool> fired_{false};  // set by the thread, taken by the window
    bool armed_ = false;
    UniqueHandle thread_;
};

}  // namespace brisko
