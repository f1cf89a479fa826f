#pragma once
// How the agent ends: only when code of its own asks (the service link failing, an orderly stop),
// through a flag that no message can set. The wake-up that makes the main thread look at the flag
// is a message posted to the agent's window, so it also reaches the main thread inside the modal
// loop of a dialog, a message box or the tray menu, which then ends. The same message posted from
// another process, or a thread message 0x401 or WM_QUIT from anywhere, finds the flag clear.
#include <windows.h>

#include <atomic>

namespace brisko {

class QuitRequest {
public:
    // Posted to the agent's window; the window procedure hands it to woken().
    static constexpr UINT kWakeMessage = WM_APP + 0x31;

    // Main thread, before anything may ask: the thread gets its message queue here, so a wake-up
    // sent before the window exists is not lost.
    void attach();
    // Main thread: the window that wakes a modal loop, or none while there is no window.
    void setWindow(HWND window);

    // Any thread of the process.
    void request();
    bool requested() const { return requested_.load(); }

    // Main thread, for kWakeMessage: a requested quit ends the modal loop that dispatched it
    // (the main loop takes no notice of WM_QUIT and looks at the flag instead).
    void woken() const;

private:
    std::atomic<bool> requested_{false};
    std::atomic<HWND> window_{nullptr};
    std::atomic<DWORD> thread_{0};
};

}  // namespace brisko
