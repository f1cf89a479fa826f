#include "system_events/service_thread.h"

#include <wtsapi32.h>

#include <cstring>
#include <tuple>

#include "agent_manager/agent_manager.h"
#include "jni/jni_strings.h"
#include "jni/local_ref.h"
#include "session/session_system.h"
#include "system_events/session_user.h"
#include "system_events/suspend_resume.h"
#include "unique_handle.h"
#include "windows_version.h"

namespace brisko {
namespace {

constexpr UINT_PTR kRetryTimer = 1;
constexpr UINT kRetryMilliseconds = 500;

// 6fe69556-704a-47a0-8f24-c28d936fda47
constexpr GUID kConsoleDisplayState = {0x6fe69556, 0x704a, 0x47a0, {0x8f, 0x24, 0xc2, 0x8d, 0x93, 0x6f, 0xda, 0x47}};
// 02731015-4510-4526-99e6-e5a17ebd1aea
constexpr GUID kMonitorPowerOn = {0x02731015, 0x4510, 0x4526, {0x99, 0xe6, 0xe5, 0xa1, 0x7e, 0xbd, 0x1a, 0xea}};

}  // namespace

void ServiceThread::run() {
    registerSessionNotification();
    UniqueSuspendResumeNotify suspendResume = RegisterSuspendResume(window());
    UniquePowerNotify powerSetting(::RegisterPowerSettingNotification(
        window(), isWindows8OrLater() ? &kConsoleDisplayState : &kMonitorPowerOn, DEVICE_NOTIFY_WINDOW_HANDLE));

    JThread::run();

    if (agentManager_) {
        StopAgentManager();
        agentManager_ = nullptr;
    }
    powerSetting.reset();
    suspendResume.reset();
    CurrentSessionSystem().unregisterSessionNotification(window());
}

void CALLBACK ServiceThread::RetrySessionRegistration(HWND window, UINT, UINT_PTR, DWORD) {
    if (auto* thread = static_cast<ServiceThread*>(::GetPropW(window, L"com.brisko.thread")))
        thread->registerSessionNotification();
}

void ServiceThread::registerSessionNotification() {
    HWND w = window();
    if (CurrentSessionSystem().registerSessionNotification(w, NOTIFY_FOR_ALL_SESSIONS)) {
        ::KillTimer(w, kRetryTimer);
        ::PostMessageW(w, kSessionsReadyMessage, 0, 0);
        return;
    }
    // 1702 means that Terminal Services are not running yet. Once the timer runs, it keeps
    // running until an attempt succeeds, whatever the later failures.
    if (::GetLastError() == RPC_S_INVALID_BINDING) ::SetTimer(w, kRetryTimer, kRetryMilliseconds, &RetrySessionRegistration);
}

bool ServiceThread::handleMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_POWERBROADCAST:
            switch (wParam) {
                case PBT_APMSUSPEND:
                    callVoid(onSystemSleepEvent_, static_cast<jboolean>(JNI_TRUE));
                    return false;
                case PBT_APMRESUMESUSPEND:
                case PBT_APMRESUMEAUTOMATIC:
                    callVoid(onSystemSleepEvent_, static_cast<jboolean>(JNI_FALSE));
                    return false;
                case PBT_POWERSETTINGCHANGE: {
                    const auto* setting = reinterpret_cast<const POWERBROADCAST_SETTING*>(lParam);
                    if (setting && setting->DataLength == sizeof(DWORD)) {
                        DWORD state = 0;
                        std::memcpy(&state, setting->Data, sizeof(state));
                        callVoid(onScreenSleepEvent_, static_cast<jboolean>(state == 0 ? JNI_TRUE : JNI_FALSE));
                    }
                    return true;
                }
                default:
                    return false;
            }
        case WM_WTSSESSION_CHANGE:
            return handleSessionChange(wParam, static_cast<DWORD>(lParam));
        case kSessionsReadyMessage:
            sessionsReady();
            return true;
        default:
            return false;
    }
}

bool ServiceThread::handleSessionChange(WPARAM change, DWORD sessionId) {
    switch (change) {
        case WTS_CONSOLE_CONNECT:
            if (loggedOnSessions_.contains(sessionId)) reportSession(sessionId);
            break;
        case WTS_CONSOLE_DISCONNECT:
            if (loggedOnSessions_.contains(sessionId)) reportSession(std::nullopt);
            break;
        case WTS_SESSION_LOGON:
            loggedOnSessions_.insert(sessionId);
            if (agentManager_) PostSessionMessage(AgentManagerMessage::Logon, sessionId);
            reportSession(sessionId);
            break;
        case WTS_SESSION_LOGOFF:
            reportSession(std::nullopt);
            if (agentManager_) PostSessionMessage(AgentManagerMessage::Logoff, sessionId);
            loggedOnSessions_.erase(sessionId);
            break;
        case WTS_SESSION_LOCK:
            callVoid(onScreenLockedEvent_, static_cast<jboolean>(JNI_TRUE));
            break;
        case WTS_SESSION_UNLOCK:
            callVoid(onScreenLockedEvent_, static_cast<jboolean>(JNI_FALSE));
            break;
        default:
            break;
    }
    return true;
}

void ServiceThread::sessionsReady() {
    reportSession(CurrentSessionSystem().activeConsoleSessionId());
    // A second ready message must not lose the running manager, which stop has to end.
    if (agentPath_.empty() || agentManager_) return;
    const Handler handler = [this](const std::wstring& applicationId, const std::wstring& applicationName,
                                   const std::wstring& userName, bool started) {
        return decideApplication(applicationId, applicationName, userName, started);
    };
    agentManager_ = CreateAgentManager(agentPath_, handler);
}

void ServiceThread::reportSession(std::optional<DWORD> sessionId) {
    std::optional<std::wstring> userName;
    if (sessionId) userName = CurrentSessionSystem().sessionUserName(*sessionId);
    const bool reported = userName && IsReportedUserName(*userName);
    callVoid(onSessionChange_, reported ? userName->c_str() : nullptr);
}

bool ServiceThread::decideApplication(const std::wstring& applicationId, const std::wstring& applicationName,
                                      const std::wstring& userName, bool started) {
    bool answer = true;
    RunOnEventThread(*this, [&] {
        if (!started) {
            callVoid(didStopApplication_, applicationId.c_str(), userName.c_str());
            return;
        }
        // Only a plain "no" refuses. A core that has no such method, failed to answer, or could not
        // be asked has not refused: the application is treated as allowed.
        if (callBoolean(shouldStartApplication_, applicationId.c_str(), applicationName.c_str(), userName.c_str()) ==
            false) {
            answer = false;
            return;
        }
        callVoid(didStartApplication_, applicationId.c_str(), applicationName.c_str(), userName.c_str());
    });
    return answer;
}

void ServiceThread::terminateApplication(const std::wstring& applicationId, const std::wstring& userName) {
    RunOnEventThread(*this, [&] {
        if (agentManager_) TerminateApplication(applicationId, userName);
    });
}

jmethodID ServiceThread::lookUp(CachedMethod& method) {
    if (method.lookedUp) return method.id;
    method.lookedUp = true;
    LocalRef javaClass(env(), env()->GetObjectClass(javaTarget()));
    if (javaClass.get()) method.id = env()->GetMethodID(static_cast<jclass>(javaClass.get()), method.name, method.signature);
    // A missing method leaves NoSuchMethodError pending.
    clearException();
    return method.id;
}

namespace {

// Java strings for wide arguments (local references deleted with the holder), others as they are.
// Once a string could not be made no other is tried: its error is pending.
template <typename T>
T JavaArgument(JNIEnv*, T value, bool&) {
    return value;
}

LocalRef JavaArgument(JNIEnv* env, const wchar_t* value, bool& made) {
    if (!made) return LocalRef(env, nullptr);
    LocalRef string(env, ToJavaString(env, value));
    made = !env->ExceptionCheck();
    return string;
}

template <typename T>
T Raw(const T& value) {
    return value;
}

jobject Raw(const LocalRef& value) { return value.get(); }

}  // namespace

template <typename Call, typename... Args>
bool ServiceThread::withJavaArguments(Call call, Args... args) {
    bool made = true;
    // A braced list converts its elements in order, so the strings are made one after the other.
    const std::tuple javaArgs{JavaArgument(env(), args, made)...};
    if (!made) {
        clearException();
        return false;
    }
    std::apply([&](const auto&... converted) { call(Raw(converted)...); }, javaArgs);
    return true;
}

template <typename... Args>
void ServiceThread::callVoid(CachedMethod& method, Args... args) {
    const jmethodID id = lookUp(method);
    if (!id) return;
    withJavaArguments([&](auto... raw) { env()->CallVoidMethod(javaTarget(), id, raw...); }, args...);
    clearException();
}

template <typename... Args>
std::optional<bool> ServiceThread::callBoolean(CachedMethod& method, Args... args) {
    const jmethodID id = lookUp(method);
    if (!id) return std::nullopt;
    jboolean answer = JNI_FALSE;
    if (!withJavaArguments([&](auto... raw) { answer = env()->CallBooleanMethod(javaTarget(), id, raw...); }, args...))
        return std::nullopt;
    if (clearException()) return std::nullopt;
    return answer != JNI_FALSE;
}

bool ServiceThread::clearException() {
    if (!env()->ExceptionCheck()) return false;
    env()->ExceptionClear();
    return true;
}

}  // namespace brisko
