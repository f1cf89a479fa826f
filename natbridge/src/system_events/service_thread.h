#pragma once
// The event thread of the core's SystemEventThread: session, lock, display and power events to
// Java, the agent manager's life, and the application decisions of the Handler.
#include <optional>
#include <set>
#include <string>

#include "applications/handler.h"
#include "jni/jthread.h"

namespace brisko {

class AgentManager;

inline constexpr UINT kSessionsReadyMessage = WM_USER + 0x100;

class ServiceThread : public JThread {
public:
    explicit ServiceThread(std::wstring agentPath) : agentPath_(std::move(agentPath)) {}

    void run() override;
    bool handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

    // The Handler's work: on the event thread, and waiting for it. True unless the core refused.
    bool decideApplication(const std::wstring& applicationId, const std::wstring& applicationName,
                           const std::wstring& userName, bool started);
    // The terminate request of the core, carried to the agent manager on the event thread.
    void terminateApplication(const std::wstring& applicationId, const std::wstring& userName);

private:
    // A method id looked up once; absent stays absent for the life of the thread.
    struct CachedMethod {
        const char* name;
        const char* signature;
        bool lookedUp = false;
        jmethodID id = nullptr;
    };

    static void CALLBACK RetrySessionRegistration(HWND window, UINT message, UINT_PTR timer, DWORD time);
    void registerSessionNotification();
    void reportSession(std::optional<DWORD> sessionId);
    void sessionsReady();
    bool handleSessionChange(WPARAM change, DWORD sessionId);

    jmethodID lookUp(CachedMethod& method);
    // Callbacks with wide strings converted to Java strings. A callback whose method is missing,
    // or one of whose strings the VM could not make, is not called; whatever is pending after it
    // is cleared: no Java frame on this thread waits for it.
    template <typename... Args>
    void callVoid(CachedMethod& method, Args... args);
    // The method's answer; none when it was not called or raised.
    template <typename... Args>
    std::optional<bool> callBoolean(CachedMethod& method, Args... args);
    // Runs call(raw Java arguments...) once every argument is made; false (the VM's error
    // cleared) when one cannot be.
    template <typename Call, typename... Args>
    bool withJavaArguments(Call call, Args... args);
    // Clears what a Java method raised: the thread's next JNI call must not run with it pending.
    bool clearException();

    CachedMethod onSessionChange_{"onSessionChange", "(Ljava/lang/String;)V"};
    CachedMethod onScreenLockedEvent_{"onScreenLockedEvent", "(Z)V"};
    CachedMethod onScreenSleepEvent_{"onScreenSleepEvent", "(Z)V"};
    CachedMethod onSystemSleepEvent_{"onSystemSleepEvent", "(Z)V"};
    CachedMethod shouldStartApplication_{"shouldStartApplication",
                                         "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;)Z"};
    CachedMethod didStartApplication_{"didStartApplication",
                                      "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;)V"};
    CachedMethod didStopApplication_{"didStopApplication", "(Ljava/lang/String;Ljava/lang/String;)V"};
    std::wstring agentPath_;
    std::set<DWORD> loggedOnSessions_;
    AgentManager* agentManager_ = nullptr;
};

}  // namespace brisko
