// One application start end to end under Wine: the fake VM loads natbridge.dll and starts the
// core's SystemEventThread with the fake-desktop agent; the agent manager launches that agent in
// the console session; the agent reports the applications it sees on its scripted desktop over
// RPC; the core refuses one, which is ended, and allows another, whose start and stop it hears.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <wtsapi32.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "desktop_session.h"
#include "fake_jvm.h"
#include "java_core.h"
#include "natbridge_exports.h"
#include "served_agents.h"
#include "text.h"
#include "unique_handle.h"

namespace brisko::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(library) << "natbridge.dll not loaded: " << ::GetLastError();
        ASSERT_TRUE(start && stop);
    }

    // A test that left early must not unload the library under a running event thread.
    void TearDown() override {
        if (handle_ == 0) return;
        Stop();
        fakejvm::Jvm::waitFor([&] { return jvm.attachedThreads() == 1 && !FindEventWindow(); }, kPatience);
    }

    jlong Start(const std::wstring& agentPath) {
        fakejvm::NativeFrame frame(jvm, env);
        handle_ = start(env, core.newObject(env), static_cast<jstring>(jvm.localRef(env, jvm.newString(agentPath))));
        return handle_;
    }

    void Stop() {
        fakejvm::NativeFrame frame(jvm, env);
        stop(env, nullptr, std::exchange(handle_, 0));
    }

    bool WaitForEvent(const std::string& event) const {
        return fakejvm::Jvm::waitFor(
            [&] {
                const std::vector<std::string> events = core.events();
                return std::find(events.begin(), events.end(), event) != events.end();
            },
            kPatience);
    }

    KillOnCloseJob job;
    UniqueModule library{::LoadLibraryW(siblingPath(L"natbridge.dll").c_str())};
    StartFunction start = StartExport(library.get());
    StopFunction stop = StopExport(library.get());
    fakejvm::Jvm jvm;
    JNIEnv* env = jvm.attachCurrentThread();
    JavaCore core{jvm, CoreOptions{{}, {}, true, {"win32:notepad.exe"}, {}}};

private:
    jlong handle_ = 0;
};

TEST_F(EndToEnd, RefusedApplicationIsEndedAllowedOneIsReportedFromStartToStop) {
    Application refused = StartApplication(job, L"ident_notepad.exe");
    Application allowed = StartApplication(job, L"MyApp.EXE");
    ASSERT_TRUE(refused.process && allowed.process);
    // The refused application's window is on the desktop before the agent looks at it.
    const DesktopScript script("add 1 pid=" + std::to_string(refused.processId) + "\n");

    ASSERT_NE(Start(siblingPath(kFakeDesktopAgent)), 0);
    HWND window = FindEventWindow();
    ASSERT_NE(window, nullptr);
    const DWORD console = ::WTSGetActiveConsoleSessionId();
    const std::string user = wideToUtf8(sessionUser());
    // The console report comes once the event thread registered for session notifications and
    // created the agent manager; only then is a logon carried to the manager.
    ASSERT_TRUE(fakejvm::Jvm::waitFor([&] { return !core.events().empty(); }, kPatience));
    // The system lists no session under Wine, so the console session's logon launches the agent.
    ::SendMessageW(window, WM_WTSSESSION_CHANGE, WTS_SESSION_LOGON, console);

    std::vector<DWORD> agents;
    ASSERT_TRUE(pollUntil([&] { return !(agents = childProcesses(kFakeDesktopAgent)).empty(); }, kPatienceMs))
        << "the agent manager launched no agent";
    ASSERT_EQ(agents.size(), 1u);
    // Only SYSTEM may end a launched agent, so it joins no job of this test: the stop ends it.
    const UniqueHandle agent(::OpenProcess(SYNCHRONIZE, FALSE, agents[0]));
    ASSERT_TRUE(agent);

    ASSERT_TRUE(WaitForEvent("shouldStartApplication(win32:notepad.exe,Notepad," + user + ")"));
    EXPECT_TRUE(Ended(refused.process)) << "the refused application still runs";

    DesktopControl desktop;
    ASSERT_TRUE(desktop.connect()) << "the agent's fake desktop does not answer";
    ASSERT_EQ(desktop.send("open 2 pid=" + std::to_string(allowed.processId)), "ok");
    ASSERT_TRUE(WaitForEvent("didStartApplication(win32:myapp.exe,MyApp.EXE," + user + ")"));
    ASSERT_EQ(desktop.send("close 2"), "ok");
    ASSERT_TRUE(WaitForEvent("didStopApplication(win32:myapp.exe," + user + ")"));
    EXPECT_EQ(desktop.send("bogus 2"), "error: unknown command: bogus 2");

    const auto before = std::chrono::steady_clock::now();
    Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(1)) << "stop must return at once";
    EXPECT_TRUE(fakejvm::Jvm::waitFor([&] { return jvm.attachedThreads() == 1 && !FindEventWindow(); }, kPatience))
        << "the event thread did not end";
    EXPECT_TRUE(Ended(agent)) << "stopping the event thread must end the agent";
    EXPECT_THAT(childProcesses(kFakeDesktopAgent), IsEmpty());
    EXPECT_FALSE(Ended(allowed.process, 0)) << "an allowed application is left running";

    // The refused application was never listed, so its end reaches the core as nothing.
    EXPECT_THAT(core.events(),
                ElementsAre("onSessionChange(" + user + ")", "onSessionChange(" + user + ")",
                            "shouldStartApplication(win32:notepad.exe,Notepad," + user + ")",
                            "shouldStartApplication(win32:myapp.exe,MyApp.EXE," + user + ")",
                            "didStartApplication(win32:myapp.exe,MyApp.EXE," + user + ")",
                            "didStopApplication(win32:myapp.exe," + user + ")"));
    EXPECT_EQ(jvm.localRefsLeftAtDetach(), 0u);
    EXPECT_EQ(jvm.globalRefs(), 0u);
    EXPECT_EQ(jvm.unreleasedStrings(), 0u);
    EXPECT_THAT(jvm.misuse(), IsEmpty());
}

}  // namespace
}  // namespace brisko::testing
