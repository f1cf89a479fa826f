#include "loop/quit_request.h"

namespace brisko {

void QuitRequest::attach() {
    MSG message;
    ::PeekMessageW(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    thread_ = ::GetCurrentThreadId();
}

void QuitRequest::setWindow(HWND window) { window_ = window; }

void QuitRequest::request() {
    requested_ = true;
    if (const HWND window = window_.load(); window && ::PostMessageW(window, kWakeMessage, 0, 0)) return;
    // Without a window there is no modal loop to end: waking the main loop's wait is enough.
    if (const DWORD thread = thread_.load()) ::PostThreadMessageW(thread, WM_NULL, 0, 0);
}

void QuitRequest::woken() const {
    if (!requested()) return;
    // A dialog's or message box's loop ends on WM_QUIT and posts it again for the loop around
    // it; a menu's loop does not everywhere, so it is ended by name.
    ::EndMenu();
    ::PostQuitMessage(0);
}

}  // namespace brisko
