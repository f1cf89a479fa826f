#include "system_events/session_calls.h"

#include <wtsapi32.h>

#include "system_events/session_user.h"

namespace brisko {
namespace {

std::optional<std::wstring> QuerySessionUserName(DWORD sessionId) {
    wchar_t* buffer = nullptr;
    DWORD bytes = 0;
    if (!::WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, sessionId, WTSUserName, &buffer, &bytes))
        return std::nullopt;
    std::wstring name = UserNameFromQuery(buffer, bytes);
    ::WTSFreeMemory(buffer);
    return name;
}

}  // namespace

SessionCalls SystemSessionCalls() {
    return SessionCalls{::WTSRegisterSessionNotification, ::WTSUnRegisterSessionNotification,
                        ::WTSGetActiveConsoleSessionId, QuerySessionUserName};
}

SessionCalls& sessionCalls() {
    static SessionCalls calls = SystemSessionCalls();
    return calls;
}

}  // namespace brisko
