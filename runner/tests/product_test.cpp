// The whole product as a service under Wine: harbeesrv.exe installed with the test JVM and the
// demo core as start and stop class, the fake-desktop agent as the core's agent. Started through
// the service control manager, the core launches the agent, which reports a refused and an
// allowed application; the stop ends every agent, the core and the VM, and the service reports
// stopped before it is deleted.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <tlhelp32.h>
#include <wtsapi32.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "session/session_system.h"
#include "desktop_session.h"
#include "lifecycle_fixture.h"
#include "text.h"

namespace {

using namespace runner_test;
using brisko::testing::Application;
using brisko::testing::CoreLogLines;
using brisko::testing::DesktopControl;
using brisko::testing::DesktopScript;
using brisko::testing::Ended;
using brisko::testing::FollowRefusedAndAllowed;
using brisko::testing::InOrder;
using brisko::testing::KillOnCloseJob;
using brisko::testing::kFakeDesktopAgent;
using brisko::testing::kPatienceMs;
using brisko::testing::StartApplication;
using brisko::testing::WaitForCoreLine;
using ::testing::HasSubstr;

// Processes of that executable whose parent is the given process.
std::vector<DWORD> childrenNamed(DWORD parent, const wchar_t* exeName) {
    std::vector<DWORD> found;
    const brisko::UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ParentProcessID == parent && ::lstrcmpiW(entry.szExeFile, exeName) == 0)
            found.push_back(entry.th32ProcessID);
    }
    return found;
}

class Product : public LifecycleTest {
protected:
    std::wstring coreLog() const { return file(L"core.log"); }
};

TEST_F(Product, ServiceRunsTheCoreWhichAllowsAndRefusesApplicationsAndStopsWithEverything) {
    KillOnCloseJob job;
    Application refused = StartApplication(job, L"ident_notepad.exe");
    Application allowed = StartApplication(job, L"MyApp.EXE");
    ASSERT_TRUE(refused.process && allowed.process);
    const DesktopScript script("");
    const std::string user = brisko::wideToUtf8(
        brisko::CurrentSessionSystem().sessionUserName(::WTSGetActiveConsoleSessionId()).value_or(L""));
    const std::wstring agentPath = brisko::siblingPath(kFakeDesktopAgent);

    install(L"--StartMode=jvm --StopMode=jvm --Jvm=" + brisko::siblingPath(L"jvm.dll") + L" --Classpath=" +
            brisko::siblingPath(L"democore.dll") +
            L" --StartClass=demo.Core --StopClass=demo.Core --StopMethod=stop --StopTimeout=30 --StartParams=agent=" +
            agentPath + L";refuse=win32:notepad.exe;password=secret;announce-logon;log=" + coreLog() +
            L" --StdOutput=auto --PidFile=harbee.pid");
    const ProcessResult started = command(L"//ES//");
    ASSERT_EQ(started.exitCode, 0u) << started.error << log();
    ASSERT_EQ(status().dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    const DWORD service = static_cast<DWORD>(std::stoul(readHeldFile(file(L"harbee.pid"))));
    const brisko::UniqueHandle serviceProcess(::OpenProcess(SYNCHRONIZE, FALSE, service));
    ASSERT_TRUE(serviceProcess);

    std::vector<DWORD> agents;
    for (DWORD waited = 0; waited < kPatienceMs && (agents = childrenNamed(service, kFakeDesktopAgent)).empty();
         waited += 100)
        ::Sleep(100);
    ASSERT_FALSE(agents.empty()) << "the core launched no agent\n" << readFile(coreLog());
    // Only SYSTEM may end a launched agent, so it joins no job of this test: the stop ends it.
    const brisko::UniqueHandle agent(::OpenProcess(SYNCHRONIZE, FALSE, agents[0]));
    ASSERT_TRUE(agent);
    ASSERT_TRUE(WaitForCoreLine(coreLog(), "SessionUser(" + user + ")")) << readFile(coreLog());

    DesktopControl desktop;
    ASSERT_TRUE(desktop.connect()) << "the agent's fake desktop does not answer";
    ASSERT_EQ(FollowRefusedAndAllowed(desktop, refused, allowed, coreLog(), user), "") << readFile(coreLog());

    const auto before = std::chrono::steady_clock::now();
    const ProcessResult stopped = command(L"//SS//");
    EXPECT_EQ(stopped.exitCode, 0u) << stopped.error;
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(30)) << "within the stop time-out";
    const SERVICE_STATUS end = status();
    EXPECT_EQ(end.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(end.dwWin32ExitCode, 0u);
    EXPECT_TRUE(Ended(agent)) << "stopping the service must end the agent";
    EXPECT_TRUE(childrenNamed(service, kFakeDesktopAgent).empty());
    EXPECT_TRUE(Ended(serviceProcess)) << "the service process must end";
    EXPECT_FALSE(Ended(allowed.process, 0)) << "an allowed application is left running";

    EXPECT_TRUE(InOrder(CoreLogLines(coreLog()),
                        {"core starting", "natbridge loaded", "listening on 127.0.0.1:3800",
                         "SystemEventThread started with agent " + brisko::wideToUtf8(agentPath),
                         "SessionUser(" + user + ")",
                         "shouldStartApplication(win32:notepad.exe,Notepad," + user + ") -> refused",
                         "didStartApplication(win32:myapp.exe,MyApp.EXE," + user + ")",
                         "didStopApplication(win32:myapp.exe," + user + ")", "stop requested",
                         "SystemEventThread stopped", "event thread ended", "core stopped"}))
        << readFile(coreLog());
    const std::string text = log();
    for (const char* line :
         {"Running 'HarbeeTestLifecycle' Service...", "Java Worker thread started demo/Core:main", "Service started in",
          "Stopping service...", "Java Worker thread finished demo/Core:stop with status=0",
          "Java Worker thread finished demo/Core:main with status=0", "Worker finished gracefully in",
          "Service stop thread completed.", "JVM destroyed.", "reportServiceStatusE: 1, 0, 0, 0",
          "Run service finished."})
        EXPECT_THAT(text, HasSubstr(line));
    EXPECT_THAT(text, ::testing::Not(HasSubstr("The JVM was not destroyed")));
    EXPECT_THAT(readFile(file(L"harbeetestlifecycle-stdout." + dateText() + L".log")),
                HasSubstr("demo core started\r\ndemo core stopped\r\n"))
        << "System.out follows the service's standard output";

    const ProcessResult deleted = command(L"//DS//");
    EXPECT_EQ(deleted.exitCode, 0u) << deleted.error;
    EXPECT_EQ(serviceState(LifecycleService), 0u);
}

}  // namespace
