#include "agent_manager/agent_launcher.h"

#include <userenv.h>
#include <wtsapi32.h>

#include <vector>

#include "agent_manager/desktop_access.h"
#include "agent_security.h"
#include "token_user.h"

namespace brisko {

namespace {

inline void destroyEnvironment(void* block) noexcept { ::DestroyEnvironmentBlock(block); }
using UniqueEnvironment = UniqueResource<NullInvalidTraits<void*, &destroyEnvironment>>;

// Puts the process's own window station back whatever path the launch takes.
class WindowStationRestore {
public:
    explicit WindowStationRestore(HWINSTA original) : original_(original) {}
    ~WindowStationRestore() { ::SetProcessWindowStation(original_); }
    WindowStationRestore(const WindowStationRestore&) = delete;
    WindowStationRestore& operator=(const WindowStationRestore&) = delete;

private:
    HWINSTA original_;
};

class Impersonation {
public:
    explicit Impersonation(HANDLE token) : active_(::ImpersonateLoggedOnUser(token) != FALSE) {}
    ~Impersonation() {
        if (active_) ::RevertToSelf();
    }
    Impersonation(const Impersonation&) = delete;
    Impersonation& operator=(const Impersonation&) = delete;
    explicit operator bool() const { return active_; }

private:
    bool active_;
};

constexpr DWORD kWindowStationAccess = READ_CONTROL | WRITE_DAC;
constexpr DWORD kDesktopAccess = READ_CONTROL | WRITE_DAC | DESKTOP_WRITEOBJECTS | DESKTOP_READOBJECTS;

LaunchedProcess StartInteractiveProcess(HANDLE token, const std::wstring& applicationPath) {
    const HWINSTA original = ::GetProcessWindowStation();
    if (!original) return {};
    WindowStationRestore restore(original);

    UniqueWindowStation station(::OpenWindowStationW(const_cast<wchar_t*>(L"winsta0"), FALSE, kWindowStationAccess));
    if (!station || !::SetProcessWindowStation(station.get())) return {};
    UniqueDesktop desktop(::OpenDesktopW(L"default", 0, FALSE, kDesktopAccess));
    if (!::SetProcessWindowStation(original) || !desktop) return {};

    std::vector<BYTE> sid = LogonSid(token);
    if (sid.empty() || !GrantWindowStation(station.get(), sid.data()) || !GrantDesktop(desktop.get(), sid.data()))
        return {};

    const std::optional<std::wstring> account = TokenUserSid(token);
    if (!account) return {};
    const UniqueSecurityDescriptor processDescriptor = AgentProcessDescriptor(*account);
    const UniqueSecurityDescriptor threadDescriptor = AgentThreadDescriptor(*account);
    if (!processDescriptor || !threadDescriptor) return {};

    UniqueEnvironment environment;
    {
        Impersonation impersonation(token);
        if (!impersonation || !::CreateEnvironmentBlock(environment.put(), token, FALSE)) return {};
    }

    // Created as SYSTEM, not while impersonating the user: a descriptor owned by SYSTEM is one
    // only SYSTEM may give. Created suspended: the agent runs once its launcher has recorded it.
    SECURITY_ATTRIBUTES processAttributes{sizeof(processAttributes), processDescriptor.get(), FALSE};
    SECURITY_ATTRIBUTES threadAttributes{sizeof(threadAttributes), threadDescriptor.get(), FALSE};
    wchar_t desktopName[] = L"winsta0\\default";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.lpDesktop = desktopName;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessAsUserW(token, applicationPath.c_str(), nullptr, &processAttributes, &threadAttributes, FALSE,
                                CREATE_DEFAULT_ERROR_MODE | CREATE_UNICODE_ENVIRONMENT | NORMAL_PRIORITY_CLASS |
                                    CREATE_SUSPENDED,
                                environment.get(), nullptr, &startup, &info))
        return {};
    LaunchedProcess launched;
    launched.processId = info.dwProcessId;
    launched.process.reset(info.hProcess);
    launched.thread.reset(info.hThread);
    launched.account = account;
    return launched;
}

}  // namespace

LaunchedProcess LaunchAgentInSession(DWORD sessionId, const std::wstring& agentPath) {
    UniqueHandle userToken;
    if (!::WTSQueryUserToken(sessionId, userToken.put())) return {};
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), nullptr, FALSE};
    UniqueHandle primaryToken;
    if (!::DuplicateTokenEx(userToken.get(), TOKEN_ALL_ACCESS, &attributes, SecurityImpersonation, TokenPrimary,
                            primaryToken.put()))
        return {};
    return StartInteractiveProcess(primaryToken.get(), agentPath);
}

}  // namespace brisko
