#include "session/session_system.h"

#include <wtsapi32.h>

#include "token_user.h"
#include "unique_handle.h"
#include "unique_memory.h"

namespace brisko {

namespace {

std::optional<std::wstring> SessionUserName(DWORD sessionId) {
    UniqueWtsMemory<wchar_t*> buffer;
    DWORD bytes = 0;
    if (!::WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, sessionId, WTSUserName, buffer.put(), &bytes))
        return std::nullopt;
    return UserNameFromQuery(buffer.get(), bytes);
}

std::vector<DWORD> EnumerateSessions() {
    UniqueWtsMemory<WTS_SESSION_INFOW*> sessions;
    DWORD count = 0;
    std::vector<DWORD> ids;
    if (!::WTSEnumerateSessionsW(WTS_CURRENT_SERVER_HANDLE, 0, 1, sessions.put(), &count)) return ids;
    for (DWORD i = 0; i < count; ++i) ids.push_back(sessions.get()[i].SessionId);
    return ids;
}

ProcessPlace PlaceOfProcess(HANDLE process) {
    UniqueHandle token;
    if (!::OpenProcessToken(process, TOKEN_QUERY, token.put())) return {};
    ProcessPlace place;
    DWORD sessionId = 0;
    DWORD size = 0;
    if (::GetTokenInformation(token.get(), TokenSessionId, &sessionId, sizeof(sessionId), &size))
        place.session = sessionId;
    place.account = TokenUserSid(token.get());
    return place;
}

bool TerminateSessionProcess(DWORD processId) {
    if (::WTSTerminateProcess(WTS_CURRENT_SERVER_HANDLE, processId, 0)) return true;
    // Where Terminal Services cannot end it (Wine's WTSTerminateProcess is a stub that refuses),
    // the process is ended directly: a refused application must not keep running.
    const UniqueHandle process(::OpenProcess(PROCESS_TERMINATE, FALSE, processId));
    return process && ::TerminateProcess(process.get(), 0);
}

}  // namespace

SessionSystem RealSessionSystem() {
    return {::WTSRegisterSessionNotification, ::WTSUnRegisterSessionNotification, ::WTSGetActiveConsoleSessionId,
            SessionUserName, EnumerateSessions, PlaceOfProcess, TerminateSessionProcess};
}

SessionSystem& CurrentSessionSystem() {
    static SessionSystem system = RealSessionSystem();
    return system;
}

std::wstring UserNameFromQuery(const wchar_t* buffer, unsigned long bytes) {
    if (!buffer) return {};
    size_t length = bytes / sizeof(wchar_t);
    if (length > 0 && buffer[length - 1] == L'\0') --length;
    return std::wstring(buffer, length);
}

}  // namespace brisko
