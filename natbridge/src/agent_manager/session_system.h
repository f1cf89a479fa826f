#pragma once
// The Terminal Services calls and process facts that Wine cannot show (it has one session and
// one user), behind a replaceable table. The defaults are the real calls; tests put their own
// in place before creating an agent manager.
#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace brisko {

struct SessionSystem {
    // Every session of the current server, whatever its state (WTSEnumerateSessionsW).
    std::function<std::vector<DWORD>()> enumerateSessions;
    // The Terminal Services session of a process (ProcessIdToSessionId); none when unknown.
    std::function<std::optional<DWORD>(DWORD processId)> sessionOfProcess;
    // The account a process runs as, its token's user as a SID string; none when unknown.
    // (Under Wine every process runs as the one user.)
    std::function<std::optional<std::wstring>(DWORD processId)> accountOfProcess;
    // Ends a process on the current server with exit code 0 (WTSTerminateProcess, or
    // TerminateProcess where that fails).
    std::function<bool(DWORD processId)> terminateProcess;
    // The Terminal Services user name of a session (WTSQuerySessionInformationW, WTSUserName);
    // empty when the query fails. (Under Wine every session has the one user.)
    std::function<std::wstring(DWORD sessionId)> userOfSession;
};

SessionSystem RealSessionSystem();
SessionSystem& CurrentSessionSystem();

// The user name of a session, through the current table.
std::wstring SessionUserName(DWORD sessionId);

}  // namespace brisko
