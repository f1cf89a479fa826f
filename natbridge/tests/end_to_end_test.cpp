// One application start end to end under Wine: the fake VM loads natbridge.dll and starts the
// core's SystemEventThread with the fake-desktop agent; the agent manager launches that agent in
// the console session; the agent reports the applications it sees on its scripted desktop over
// RPC; the core refuses one, which is ended, and allows another, whose start and stop it hears.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <wtsapi32.h>

#include <aclapi.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "desktop_session.h"
#include "fake_jvm.h"
#include "java_core.h"
#include "natbridge_exports.h"
#include "served_agents.h"
#include "temp_folder.h"
#include "text.h"
#include "unique_handle.h"
#include "version_resource.h"

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

    // The library must not be unloaded under a running event thread, also when a test left early.
    void TearDown() override {
        if (handle_ != 0) Stop();
        EventThreadEnded();
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

    bool EventThreadEnded() {
        return fakejvm::Jvm::waitFor([&] { return jvm.attachedThreads() == 1 && !FindEventWindow(); }, kPatience);
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
    JavaCore core{jvm, CoreOptions{{}, {}, true, {"win32:notepad.exe", "win32:kids notes.exe"}, {}}};

    // Starts the event thread with the fake-desktop agent, has the manager launch it for the
    // console session and answers the agent's process; null (with a failure) when it did not come.
    // Only SYSTEM may end a launched agent, so it joins no job of this test: the stop ends it.
    UniqueHandle LaunchAgent() {
        if (Start(siblingPath(kFakeDesktopAgent)) == 0) return Fail("the event thread did not start");
        HWND window = FindEventWindow();
        if (!window) return Fail("no event window");
        // The console report comes once the event thread registered for session notifications
        // and created the agent manager; only then is a logon carried to the manager.
        if (!fakejvm::Jvm::waitFor([&] { return !core.events().empty(); }, kPatience)) return Fail("no console report");
        // The system lists no session under Wine, so the console session's logon launches the agent.
        ::SendMessageW(window, WM_WTSSESSION_CHANGE, WTS_SESSION_LOGON, ::WTSGetActiveConsoleSessionId());
        std::vector<DWORD> agents;
        if (!pollUntil([&] { return !(agents = childProcesses(kFakeDesktopAgent)).empty(); }, kPatienceMs))
            return Fail("the agent manager launched no agent");
        if (agents.size() != 1) return Fail("more than one agent");
        return UniqueHandle(::OpenProcess(SYNCHRONIZE, FALSE, agents[0]));
    }

private:
    static UniqueHandle Fail(const char* what) {
        ADD_FAILURE() << what;
        return {};
    }

    jlong handle_ = 0;
};

TEST_F(EndToEnd, RefusedApplicationIsEndedAllowedOneIsReportedFromStartToStop) {
    Application refused = StartApplication(job, L"ident_notepad.exe");
    Application allowed = StartApplication(job, L"MyApp.EXE");
    ASSERT_TRUE(refused.process && allowed.process);
    // The refused application's window is on the desktop before the agent looks at it.
    const DesktopScript script("add 1 pid=" + std::to_string(refused.processId) + "\n");

    const UniqueHandle agent = LaunchAgent();
    ASSERT_TRUE(agent);
    const std::string user = wideToUtf8(sessionUser());

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
    EXPECT_TRUE(EventThreadEnded()) << "the event thread did not end";
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

// The refused editor as a standard user can disguise it, and a normal program beside it: every
// disguise is still the refused editor, and the core is never asked about an empty, over-long or
// unprintable identifier.
TEST_F(EndToEnd, DisguisedCopiesOfARefusedProgramAreEndedAndANormalOneRuns) {
    const TempFolder folder;
    const std::wstring editor = siblingPath(L"ident_notepad.exe");
    const std::wstring hostile = std::wstring(15000, L'n') + L"\r\n,\t\u202e\u0001";
    const std::wstring spacedCopy = folder.path() + L"spaced\\editor.exe";
    // Wine runs its own editor for any program file named notepad.exe: this copy is named after
    // another refused program.
    const std::wstring hostileCopy = folder.path() + L"hostile\\Kids Notes.exe";
    const std::wstring frameHostCopy = folder.path() + L"Downloads\\ApplicationFrameHost.exe";
    for (const std::wstring& copy : {spacedCopy, hostileCopy, frameHostCopy})
        std::filesystem::create_directories(std::filesystem::path(copy).parent_path());
    ASSERT_TRUE(copyWithVersion(editor, spacedCopy, {L"notepad.exe ", L"Notepad"}));
    ASSERT_TRUE(copyWithVersion(editor, hostileCopy, {hostile, hostile}));
    ASSERT_TRUE(::CopyFileW(editor.c_str(), frameHostCopy.c_str(), FALSE));

    struct Case {
        const char* name;
        std::wstring program;
        std::string window;  // the window's attributes beyond its id and process
        bool refused;
    };
    const Case cases[] = {
        {"an allowed program", siblingPath(L"MyApp.EXE"), "", false},
        {"the editor with the frame window class", editor, " class=ApplicationFrameWindow", true},
        {"a frame window of a frame host copy in Downloads", frameHostCopy, " class=ApplicationFrameWindow", true},
        {"the editor inside the allowed program's window", editor, " parent=1", true},
        {"an original file name with a trailing space", spacedCopy, "", true},
        {"an original file name of 15,000 hostile characters", hostileCopy, "", true},
    };
    std::vector<Application> applications;
    for (const Case& c : cases) {
        applications.push_back(StartProgram(job, c.program));
        ASSERT_TRUE(applications.back().process) << c.name;
    }
    // Already on the desktop when the agent first looks: the editor's top-level pane.
    Application pane = StartProgram(job, editor);
    ASSERT_TRUE(pane.process);
    const DesktopScript script("add 100 pid=" + std::to_string(pane.processId) + " type=50033\n");

    const UniqueHandle agent = LaunchAgent();
    ASSERT_TRUE(agent);
    const std::string user = wideToUtf8(sessionUser());
    EXPECT_TRUE(WaitForEvent("shouldStartApplication(win32:notepad.exe,Notepad," + user + ")"));
    EXPECT_TRUE(Ended(pane.process)) << "a pane already open at the start";

    DesktopControl desktop;
    ASSERT_TRUE(desktop.connect()) << "the agent's fake desktop does not answer";
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        ASSERT_EQ(desktop.send("open " + std::to_string(i + 1) + " pid=" + std::to_string(applications[i].processId) +
                               c.window),
                  "ok")
            << c.name;
        if (c.refused) {
            EXPECT_TRUE(Ended(applications[i].process)) << c.name << ": still runs";
        } else {
            EXPECT_TRUE(WaitForEvent("didStartApplication(win32:myapp.exe,MyApp.EXE," + user + ")")) << c.name;
        }
    }

    // A window of a process that has ended names nothing the core could decide.
    Application gone = StartProgram(job, editor);
    ASSERT_TRUE(gone.process);
    ::TerminateProcess(gone.process.get(), 1);
    ASSERT_TRUE(Ended(gone.process));
    ASSERT_EQ(desktop.send("open 50 pid=" + std::to_string(gone.processId)), "ok");

    // A process that grants its user nothing: where this system keeps that promise, neither the
    // agent nor the service can open it, and it is not decided; elsewhere it is the editor.
    SECURITY_DESCRIPTOR nothingGranted;
    ACL emptyAcl;
    ASSERT_TRUE(::InitializeSecurityDescriptor(&nothingGranted, SECURITY_DESCRIPTOR_REVISION) &&
                ::InitializeAcl(&emptyAcl, sizeof(emptyAcl), ACL_REVISION) &&
                ::SetSecurityDescriptorDacl(&nothingGranted, TRUE, &emptyAcl, FALSE));
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), &nothingGranted, FALSE};
    Application locked = StartProgram(job, editor, &attributes);
    ASSERT_TRUE(locked.process);
    const bool openable =
        static_cast<bool>(UniqueHandle(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, locked.processId)));
    ASSERT_EQ(desktop.send("open 51 pid=" + std::to_string(locked.processId)), "ok");
    EXPECT_EQ(Ended(locked.process, openable ? kPatienceMs : 3000), openable)
        << (openable ? "an openable editor still runs" : "an unopenable process was ended");

    // The allowed program's window closes, and the editor's window inside it goes with it.
    ASSERT_EQ(desktop.send("close 1"), "ok");
    EXPECT_TRUE(WaitForEvent("didStopApplication(win32:myapp.exe," + user + ")"));
    Stop();
    EXPECT_TRUE(EventThreadEnded()) << "the event thread did not end";
    EXPECT_FALSE(Ended(applications[0].process, 0)) << "the allowed program is left running";

    for (const std::string& event : core.events()) {
        if (event.rfind("shouldStartApplication(", 0) != 0) continue;
        EXPECT_NE(event.rfind("shouldStartApplication(win32:", 0), std::string::npos) << "no identifier: " << event;
        EXPECT_LT(event.size(), 400u) << "over-long: " << event.substr(0, 80);
        EXPECT_EQ(std::count_if(event.begin(), event.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }), 0)
            << "control characters: " << event.substr(0, 80);
        EXPECT_EQ(event.find("\xe2\x80\xae"), std::string::npos) << "a bidirectional override: " << event.substr(0, 80);
    }
    const std::string hostileName =
        "shouldStartApplication(win32:kids notes.exe," + std::string(256, 'n') + "," + user + ")";
    EXPECT_TRUE(WaitForEvent(hostileName)) << "the hostile display name, cut and cleaned";
}

}  // namespace
}  // namespace brisko::testing
