// The baseline of agent_footprint_bench: a program with the agent's kind of main loop and
// nothing else (a message-only window and GetMessageW), which waits to be ended.
#include <windows.h>

int wmain() {
    HWND window = ::CreateWindowExW(0, L"STATIC", L"bare loop", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    if (!window) return 1;
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return 0;
}
