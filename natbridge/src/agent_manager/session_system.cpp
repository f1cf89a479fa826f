#include "agent_manager/session_system.h"

#include <sddl.h>
#include <wtsapi32.h>

#include <memory>
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

std::optional<std::wstring> AccountOfProcess(DWORD processId) {
    const UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    HANDLE rawToken = nullptr;
    if (!process || !::OpenProcessToken(process.get(), TOKEN_QUERY, &rawToken)) return std::nullopt;
    const UniqueHandle token(rawToken);
    DWORD size = 0;
    ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    if (size < sizeof(TOKEN_USER)) return std::nullopt;
    std::vector<BYTE> buffer(size);
    if (!::GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) return std::nullopt;
    wchar_t* text = nullptr;
    if (!::ConvertSidToStringSidW(reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid, &text))
        return std::nullopt;
    const std::unique_ptr<wchar_t, decltype(&::LocalFree)> owner(text, &::LocalFree);
    return std::wstring(text);
}

bool TerminateSessionProcess(DWORD processId) {
    if (::WTSTerminateProcess(WTS_CURRENT_SERVER_HANDLE, processId, 0)) return true;
    // Where Terminal Services cannot end it (Wine's WTSTerminateProcess is a stub that refuses),
    // the process is ended directly: a refused application must not keep running.
    const UniqueHandle process(::OpenProcess(PROCESS_TERMINATE, FALSE, processId));
    return process && ::TerminateProcess(process.get(), 0);
}

std::wstring UserOfSession(DWORD sessionId) {
    LPWSTR buffer = nullptr;
    DWORD bytes = 0;
    if (!::WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, sessionId, WTSUserName, &buffer, &bytes))
        return {};
    std::wstring name = buffer ? buffer : L"";
    ::WTSFreeMemory(buffer);
    return name;
}

}  // namespace

SessionSystem RealSessionSystem() {
    return {EnumerateSessions, SessionOfProcess, AccountOfProcess, TerminateSessionProcess, UserOfSession};
}

SessionSystem& CurrentSessionSystem() {
    static SessionSystem system = RealSessionSystem();
    return system;
}

std::wstring SessionUserName(DWORD sessionId) { return CurrentSessionSystem().userOfSession(sessionId); }

}  // namespace brisko
