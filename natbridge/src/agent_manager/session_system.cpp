#include "agent_manager/session_system.h"

#include <wtsapi32.h>

#include <string>

#include "unique_handle.h"

namespace brisko {

namespace {

std::vector<DWORD> EnumerateSessions() {
    WTS_SESSION_INFOW* sessions = nullptr;
    DWORD count = 0;
    std::vector<DWORD> ids;
    if (!::WTSEnumerateSessionsW(WTS_CURRENT_SERVER_HANDLE, 0, 1, &sessions, &count)) return ids;
    for (DWORD i = 0; i < count; ++i) ids.push_back(sessions[i].SessionId);
    ::WTSFreeMemory(sessions);
    return ids;
}

std::optional<DWORD> SessionOfProcess(DWORD processId) {
    DWORD sessionId = 0;
    if (!::ProcessIdToSessionId(processId, &sessionId)) return std::nullopt;
    return sessionId;
}

bool TerminateSessionProcess(DWORD processId) {
    if (::WTSTerminateProcess(WTS_CURRENT_SERVER_HANDLE, processId, 0)) return true;
    // Where Terminal Services cannot end it (Wine's WTSTerminateProcess is a stub that refuses),
    // the process is ended directly: a refused application must not keep running.
    const UniqueHandle process(::OpenProcess(PROCESS_TERMINATE, FALSE, processId));
    return process && ::TerminateProcess(process.get(), 0);
}

}  // namespace

SessionSystem RealSessionSystem() { return {EnumerateSessions, SessionOfProcess, TerminateSessionProcess}; }

SessionSystem& CurrentSessionSystem() {
    static SessionSystem system = RealSessionSystem();
    return system;
}

std::wstring SessionUserName(DWORD sessionId) {
    LPWSTR buffer = nullptr;
    DWORD bytes = 0;
    if (!::WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, sessionId, WTSUserName, &buffer, &bytes))
        return {};
    std::wstring name = buffer ? buffer : L"";
    ::WTSFreeMemory(buffer);
    return name;
}

}  // namespace brisko
