#pragma once
// The Terminal Services calls of the event thread, behind a table that tests can replace:
// Wine cannot show their failures (such as 1702 while Terminal Services start) nor other users.
#include <windows.h>

#include <optional>
#include <string>

namespace brisko {

struct SessionCalls {
    BOOL(WINAPI* registerSessionNotification)(HWND window, DWORD flags);
    BOOL(WINAPI* unregisterSessionNotification)(HWND window);
    DWORD(WINAPI* activeConsoleSessionId)();
    // The WTSUserName of a session; nothing when the query fails.
    std::optional<std::wstring> (*sessionUserName)(DWORD sessionId);
};

// The process-wide table; the system's calls unless a test replaced them.
SessionCalls& sessionCalls();
SessionCalls SystemSessionCalls();

}  // namespace brisko
