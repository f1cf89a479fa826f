#pragma once
// The Terminal Services calls and the facts about processes that Wine cannot show (it has one
// session and one user, and Terminal Services that never fail), behind one replaceable table.
// The defaults are the system's calls; tests put their own in place before they start the event
// thread or an agent manager.
#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace brisko {

// Where a process runs: its session and its account (a SID string); none where unknown.
struct ProcessPlace {
    std::optional<DWORD> session;
    std::optional<std::wstring> account;
};

struct SessionSystem {
    // WTSRegisterSessionNotification and WTSUnRegisterSessionNotification of a window.
    std::function<BOOL(HWND window, DWORD flags)> registerSessionNotification;
    std::function<BOOL(HWND window)> unregisterSessionNotification;
    // WTSGetActiveConsoleSessionId.
    std::function<DWORD()> activeConsoleSessionId;
    // The WTSUserName of a session; none when the query fails.
    std::function<std::optional<std::wstring>(DWORD sessionId)> sessionUserName;
    // Every session of the current server, whatever its state (WTSEnumerateSessionsW).
    std::function<std::vector<DWORD>()> enumerateSessions;
    // The session and the account of an open process, both read from its token (the handle
    // needs PROCESS_QUERY_LIMITED_INFORMATION).
    std::function<ProcessPlace(HANDLE process)> placeOfProcess;
    // Ends a process on the current server with exit code 0 (WTSTerminateProcess, or
    // TerminateProcess where that fails).
    std::function<bool(DWORD processId)> terminateProcess;
};

SessionSystem RealSessionSystem();
SessionSystem& CurrentSessionSystem();

// The name in a WTSUserName answer of `bytes` bytes: the character count is the byte count
// halved, less one when the last character is NUL.
std::wstring UserNameFromQuery(const wchar_t* buffer, unsigned long bytes);

}  // namespace brisko
