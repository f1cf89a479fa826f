// The event thread with the Terminal Services seam and the agent manager replaced: session
// registration retries, the session report's filter, the agent manager's life and the Handler.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <optional>
#include <thread>

#include "agent_manager_double.h"
#include "fake_jvm.h"
#include "java_core.h"
#include "session/session_system.h"
#include "system_events/system_event_thread_exports.h"

namespace brisko::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// What the fake Terminal Services answer.
struct FakeSessions {
    std::atomic<int> attempts{0};
    std::atomic<int> failures{0};  // attempts that fail before one succeeds
    std::atomic<DWORD> failureCode{RPC_S_INVALID_BINDING};
    std::map<DWORD, std::wstring> users{{1, L"alice"}};
};
FakeSessions* fake = nullptr;

BOOL WINAPI FakeRegister(HWND, DWORD) {
    if (fake->attempts++ < fake->failures) {
        ::SetLastError(fake->failureCode);
        return FALSE;
    }
    return TRUE;
}
BOOL WINAPI FakeUnregister(HWND) { return TRUE; }
DWORD WINAPI FakeConsole() { return 1; }
std::optional<std::wstring> FakeUserName(DWORD session) {
    const auto it = fake->users.find(session);
    return it == fake->users.end() ? std::nullopt : std::optional(it->second);
}

class ServiceThreadTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake = &sessions;
        SessionSystem& system = CurrentSessionSystem();
        system.registerSessionNotification = FakeRegister;
        system.unregisterSessionNotification = FakeUnregister;
        system.activeConsoleSessionId = FakeConsole;
        system.sessionUserName = FakeUserName;
        agentManagerDouble().reset();
    }

    void TearDown() override {
        if (handle) {
            Stop();
            EXPECT_TRUE(fakejvm::Jvm::waitFor([&] { return jvm.attachedThreads() == 1; }));
            // The thread detaches before it destroys its window: the next test must not find it.
            EXPECT_TRUE(fakejvm::Jvm::waitFor([&] { return !::IsWindow(window); }));
        }
        // A thread destroys its window after it detached, also one a test stopped itself: the
        // next test must neither find that window nor find the window class still in use.
        EXPECT_TRUE(fakejvm::Jvm::waitFor([] { return FindEventWindow() == nullptr; }));
        EXPECT_EQ(jvm.localRefsLeftAtDetach(), 0u);
        EXPECT_EQ(jvm.globalRefs(), 0u);
        EXPECT_THAT(jvm.misuse(), IsEmpty());
        CurrentSessionSystem() = RealSessionSystem();
        fake = nullptr;
    }

    void Start(JavaCore& core, const wchar_t* agentPath) {
        fakejvm::NativeFrame frame(jvm, env);
        handle = Java_jni_com_brisko_desktop_windows_SystemEventThread_start(
            env, core.newObject(env), static_cast<jstring>(jvm.localRef(env, jvm.newString(agentPath))));
        ASSERT_NE(handle, 0);
        window = FindEventWindow();
    }

    void Stop() {
        fakejvm::NativeFrame frame(jvm, env);
        Java_jni_com_brisko_desktop_windows_SystemEventThread_stop(env, nullptr, handle);
    }

    void Terminate(JNIEnv* caller, const wchar_t* applicationId, const wchar_t* userName) {
        fakejvm::NativeFrame frame(jvm, caller);
        Java_jni_com_brisko_desktop_windows_SystemEventThread_terminate(
            caller, nullptr, handle, static_cast<jstring>(jvm.localRef(caller, jvm.newString(applicationId))),
            static_cast<jstring>(jvm.localRef(caller, jvm.newString(userName))));
    }

    // Calls the Handler that the event thread gave the agent manager, from another thread as
    // the RPC server does.
    bool Decide(const wchar_t* id, const wchar_t* name, const wchar_t* user, bool started) {
        const Handler handler = agentManagerDouble().handler();
        bool answer = false;
        std::thread([&] { answer = handler(id, name, user, started); }).join();
        return answer;
    }

    FakeSessions sessions;
    fakejvm::Jvm jvm;
    JNIEnv* env = jvm.attachCurrentThread();
    jlong handle = 0;
    HWND window = nullptr;
};

TEST_F(ServiceThreadTest, RegistrationRetriesEvery500msWhileTerminalServicesAreNotRunning) {
    sessions.failures = 3;  // the first attempt and two timer ticks fail, the third tick succeeds
    JavaCore core(jvm);
    const auto started = std::chrono::steady_clock::now();
    Start(core, L"");
    ASSERT_TRUE(core.waitForEvents(1));
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(1400));
    EXPECT_EQ(sessions.attempts, 4);
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    EXPECT_EQ(sessions.attempts, 4) << "the timer ends with the first success";
    EXPECT_THAT(core.events(), ElementsAre("onSessionChange(alice)"));
}

TEST_F(ServiceThreadTest, OtherRegistrationFailuresLeaveTheThreadWithoutSessionsAndAgents) {
    sessions.failures = 1;
    sessions.failureCode = ERROR_ACCESS_DENIED;
    JavaCore core(jvm);
    Start(core, L"C:\\agent.exe");
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    EXPECT_EQ(sessions.attempts, 1);
    ::SendMessageW(window, WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
    EXPECT_THAT(core.events(), ElementsAre("onSystemSleepEvent(true)"));
    EXPECT_THAT(agentManagerDouble().calls(), IsEmpty());
}

TEST_F(ServiceThreadTest, SessionReportsFilterServiceAccounts) {
    sessions.users = {{1, L"alice"}, {2, L"ASPNET"}, {3, L"aspNet"}, {4, L"HOST$"}, {5, L"sshd"},
                      {6, L"UpdatusUser"}, {7, L"ASPNETUSER"}, {8, L"A"}, {9, L""}};
    JavaCore core(jvm);
    Start(core, L"");
    ASSERT_TRUE(core.waitForEvents(1));
    for (DWORD session = 2; session <= 10; ++session)
        ::SendMessageW(window, WM_WTSSESSION_CHANGE, WTS_SESSION_LOGON, session);
    EXPECT_THAT(core.events(),
                ElementsAre("onSessionChange(alice)", "onSessionChange(null)", "onSessionChange(null)",
                            "onSessionChange(null)", "onSessionChange(null)", "onSessionChange(null)",
                            "onSessionChange(ASPNETUSER)", "onSessionChange(A)", "onSessionChange(null)",
                            "onSessionChange(null)"));
}

TEST_F(ServiceThreadTest, ConsoleChangesReportOnlySessionsThatLoggedOnMeanwhile) {
    sessions.users = {{1, L"alice"}, {3, L"bob"}};
    JavaCore core(jvm);
    Start(core, L"");
    ASSERT_TRUE(core.waitForEvents(1));
    ::SendMessageW(window, WM_WTSSESSION_CHANGE, WTS_CONSOLE_DISCONNECT, 1);
    ::SendMessageW(window, WM_WTSSESSION_CHANGE, WTS_SESSION_LOGON, 3);
    ::SendMessageW(window, WM_WTSSESSION_CHANGE, WTS_CONSOLE_DISCONNECT, 3);
    ::SendMessageW(window, WM_WTSSESSION_CHANGE, WTS_CONSOLE_CONNECT, 3);
    ::SendMessageW(window, WM_WTSSESSION_CHANGE, WTS_SESSION_LOGOFF, 3);
    ::SendMessageW(window, WM_WTSSESSION_CHANGE, WTS_CONSOLE_CONNECT, 3);
    EXPECT_THAT(core.events(), ElementsAre("onSessionChange(alice)", "onSessionChange(bob)", "onSessionChange(null)",
                                           "onSessionChange(bob)", "onSessionChange(null)"));
}

TEST_F(ServiceThreadTest, TheAgentManagerFollowsTheThreadAndItsSessions) {
    JavaCore core(jvm);
    Start(core, L"C:\\agent.exe");
    ASSERT_TRUE(core.waitForEvents(1));
    ASSERT_TRUE(fakejvm::Jvm::waitFor([] { return !agentManagerDouble().calls().empty(); }));
    ::SendMessageW(window, WM_WTSSESSION_CHANGE, WTS_SESSION_LOGON, 2);
    ::SendMessageW(window, WM_WTSSESSION_CHANGE, WTS_SESSION_LOGOFF, 2);
    // A second ready message must not replace the running manager.
    ::SendMessageW(window, WM_USER + 0x100, 0, 0);
    Terminate(env, L"", L"alice");
    Terminate(env, L"win32:game.exe", L"");
    Terminate(env, L"win32:game.exe", L"alice");
    Stop();
    ASSERT_TRUE(fakejvm::Jvm::waitFor([&] { return jvm.attachedThreads() == 1; }));
    handle = 0;
    EXPECT_THAT(agentManagerDouble().calls(),
                ElementsAre("CreateAgentManager(C:\\agent.exe)", "PostSessionMessage(0,2)", "PostSessionMessage(1,2)",
                            "TerminateApplication(win32:game.exe,alice)", "StopAgentManager"));
}

TEST_F(ServiceThreadTest, AnEmptyAgentPathStartsNoManager) {
    JavaCore core(jvm);
    Start(core, L"");
    ASSERT_TRUE(core.waitForEvents(1));
    Terminate(env, L"win32:game.exe", L"alice");
    EXPECT_THAT(agentManagerDouble().calls(), IsEmpty());
}

struct DecisionCase {
    const char* name;
    CoreOptions options;
    bool started;
    bool answer;
    std::vector<std::string> events;
    // The Java string, counted from 0, that the VM cannot make.
    std::optional<size_t> failingString = std::nullopt;
};

class HandlerDecisions : public ServiceThreadTest, public ::testing::WithParamInterface<DecisionCase> {};

TEST_P(HandlerDecisions, RunOnTheEventThread) {
    const DecisionCase& c = GetParam();
    JavaCore core(jvm, c.options);
    Start(core, L"C:\\agent.exe");
    ASSERT_TRUE(fakejvm::Jvm::waitFor([] { return static_cast<bool>(agentManagerDouble().handler()); }));
    core.clear();
    if (c.failingString) jvm.failStringAfter(*c.failingString);
    EXPECT_EQ(Decide(L"win32:game.exe", L"Game", L"alice", c.started), c.answer);
    EXPECT_EQ(core.events(), c.events);
    EXPECT_FALSE(core.callbackThreads().contains(::GetCurrentThreadId()));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HandlerDecisions,
    ::testing::Values(
        DecisionCase{"allowed", {}, true, true,
                     {"shouldStartApplication(win32:game.exe,Game,alice)", "didStartApplication(win32:game.exe,Game,alice)"}},
        DecisionCase{"refused", {{}, {}, false, {}, {}}, true, false, {"shouldStartApplication(win32:game.exe,Game,alice)"}},
        DecisionCase{"no_decision_method", {{"shouldStartApplication"}, {}, false, {}, {}}, true, true,
                     {"didStartApplication(win32:game.exe,Game,alice)"}},
        DecisionCase{"decision_raises", {{}, {"shouldStartApplication"}, false, {}, {}}, true, true,
                     {"shouldStartApplication(win32:game.exe,Game,alice)", "didStartApplication(win32:game.exe,Game,alice)"}},
        DecisionCase{"stopped", {}, false, true, {"didStopApplication(win32:game.exe,alice)"}},
        // A string the VM cannot make skips its callback, as a core that failed to answer.
        DecisionCase{"decision_strings_fail", {}, true, true, {"didStartApplication(win32:game.exe,Game,alice)"}, 1},
        DecisionCase{"start_report_strings_fail", {}, true, true, {"shouldStartApplication(win32:game.exe,Game,alice)"}, 5},
        DecisionCase{"stop_report_strings_fail", {}, false, true, {}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ServiceThreadTest, AUserNameTheVmCannotMakeIsNotReportedAsNoUser) {
    sessions.users = {{1, L"alice"}, {2, L"bob"}};
    JavaCore core(jvm);
    Start(core, L"");
    ASSERT_TRUE(core.waitForEvents(1));
    jvm.failStringAfter(0);
    ::SendMessageW(window, WM_WTSSESSION_CHANGE, WTS_SESSION_LOGON, 2);
    ::SendMessageW(window, WM_WTSSESSION_CHANGE, WTS_SESSION_LOGON, 2);
    EXPECT_THAT(core.events(), ElementsAre("onSessionChange(alice)", "onSessionChange(bob)"));
}

// The exports run on the core's own threads: an error of the VM goes back to the caller, and no
// JNI call follows it.
TEST_F(ServiceThreadTest, TerminateLeavesAStringTheVmCannotReadToItsCaller) {
    JavaCore core(jvm);
    Start(core, L"C:\\agent.exe");
    ASSERT_TRUE(core.waitForEvents(1));
    for (const size_t failing : {0, 1}) {
        jvm.failStringAfter(failing);
        Terminate(env, L"win32:game.exe", L"alice");
        const fakejvm::ObjectPtr pending = jvm.pendingException(::GetCurrentThreadId());
        ASSERT_TRUE(pending) << failing;
        EXPECT_EQ(pending->javaClass().name(), "java/lang/OutOfMemoryError");
        env->ExceptionClear();
    }
    EXPECT_THAT(agentManagerDouble().calls(), ElementsAre("CreateAgentManager(C:\\agent.exe)"));
}

TEST_F(ServiceThreadTest, StartFailsWhenTheVmCannotReadThePath) {
    JavaCore core(jvm);
    {
        fakejvm::NativeFrame frame(jvm, env);
        const jobject self = core.newObject(env);
        const auto path = static_cast<jstring>(jvm.localRef(env, jvm.newString(L"C:\\agent.exe")));
        jvm.failStringAfter(0);
        EXPECT_EQ(Java_jni_com_brisko_desktop_windows_SystemEventThread_start(env, self, path), 0);
    }
    EXPECT_TRUE(jvm.pendingException(::GetCurrentThreadId()));
    env->ExceptionClear();
    EXPECT_EQ(FindEventWindow(), nullptr) << "no thread starts without its agent path";
    EXPECT_EQ(jvm.attachedThreads(), 1u);
}

TEST_F(ServiceThreadTest, TerminateFromInsideTheDecisionDoesNotDeadlock) {
    CoreOptions options;
    options.allowStart = false;
    options.whileDeciding = [&] {
        // The core, inside shouldStartApplication, on the event thread.
        void* eventEnv = nullptr;
        jvm.vm()->GetEnv(&eventEnv, JNI_VERSION_1_8);
        Terminate(static_cast<JNIEnv*>(eventEnv), L"win32:game.exe", L"alice");
    };
    JavaCore core(jvm, options);
    Start(core, L"C:\\agent.exe");
    ASSERT_TRUE(fakejvm::Jvm::waitFor([] { return static_cast<bool>(agentManagerDouble().handler()); }));
    EXPECT_FALSE(Decide(L"win32:game.exe", L"Game", L"alice", true));
    EXPECT_THAT(agentManagerDouble().calls(),
                ElementsAre("CreateAgentManager(C:\\agent.exe)", "TerminateApplication(win32:game.exe,alice)"));
}

TEST_F(ServiceThreadTest, TheHandlerAllowsAtOnceOnceTheThreadEnded) {
    JavaCore core(jvm);
    Start(core, L"C:\\agent.exe");
    ASSERT_TRUE(fakejvm::Jvm::waitFor([] { return static_cast<bool>(agentManagerDouble().handler()); }));
    Stop();
    ASSERT_TRUE(fakejvm::Jvm::waitFor([&] { return jvm.attachedThreads() == 1; }));
    handle = 0;
    core.clear();
    EXPECT_TRUE(Decide(L"win32:game.exe", L"Game", L"alice", true));
    EXPECT_THAT(core.events(), IsEmpty());
}

}  // namespace
}  // namespace brisko::testing
