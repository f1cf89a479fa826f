// The agent manager under Wine with real processes: small programs stand in for the agent.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <rpc.h>

#include <atomic>
#include <fstream>
#include <thread>

#include "agent_manager/agent_manager.h"
#include "agent_rpc/agent_rpc_server.h"
#include "agent_test_support.h"
#include "text.h"

namespace brisko {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::SizeIs;
using namespace brisko::testing;

class AgentManagerTest : public ::testing::Test {
protected:
    // A failed test may leave its manager and agents running.
    void TearDown() override {
        Stop();
        EndChildProcesses();
    }
    AgentManager* Create(const std::wstring& agent, Handler handler = [](auto&&...) { return true; }) {
        AgentManager* manager = nullptr;
        eventThread_.run([&] { manager = CreateAgentManager(siblingPath(agent), handler); });
        return manager;
    }
    DWORD Stop() {
        DWORD status = 1;
        eventThread_.run([&] { status = StopAgentManager(); });
        return status;
    }
    // The one running agent of that name, once there is exactly one other than `previous`.
    DWORD AwaitAgent(const std::wstring& agent, DWORD previous = 0) {
        DWORD found = 0;
        WaitUntil([&] {
            const std::vector<DWORD> running = ChildProcesses(agent);
            found = running.size() == 1 && running[0] != previous ? running[0] : 0;
            return found != 0;
        });
        return found;
    }
    static void Kill(DWORD processId) {
        UniqueHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId));
        ::TerminateProcess(process.get(), 7);
        ::WaitForSingleObject(process.get(), 10000);
    }

    FakeSessions sessions_;
    TestEventThread eventThread_;
};

TEST_F(AgentManagerTest, LaunchesAsTheSessionUserAndRelaunchesAKilledAgent) {
    ASSERT_NE(Create(L"idle_agent.exe"), nullptr);
    EXPECT_EQ(Create(L"idle_agent.exe"), nullptr) << "one manager per process";

    const DWORD first = AwaitAgent(L"idle_agent.exe");
    ASSERT_NE(first, 0u) << "no agent was launched";
    std::wstring user;
    ASSERT_TRUE(WaitUntil([&] { return FindSupervisedAgent(first, &user); }));
    EXPECT_EQ(user, SessionUserName(1));
    EXPECT_FALSE(FindSupervisedAgent(::GetCurrentProcessId(), nullptr));

    Kill(first);
    const DWORD second = AwaitAgent(L"idle_agent.exe", first);
    ASSERT_NE(second, 0u) << "the killed agent was not relaunched";
    EXPECT_TRUE(WaitUntil([&] { return FindSupervisedAgent(second, nullptr); }));
    EXPECT_FALSE(FindSupervisedAgent(first, nullptr));

    EXPECT_EQ(Stop(), 0u);
    EXPECT_FALSE(ProcessRunning(second)) << "stop ends every agent";
    EXPECT_FALSE(FindSupervisedAgent(second, nullptr));
}

TEST_F(AgentManagerTest, AnAgentThatKeepsDyingIsRelaunchedNineTimesThenLeft) {
    const std::wstring log = siblingPath(L"exiting_agent.log");
    ::DeleteFileW(log.c_str());
    const auto launches = [&] {
        std::ifstream file(wideToUtf8(log));
        int lines = 0;
        for (std::string line; std::getline(file, line);) ++lines;
        return lines;
    };
    ASSERT_NE(Create(L"exiting_agent.exe"), nullptr);
    EXPECT_TRUE(WaitUntil([&] { return launches() >= 10; }, 60000));
    ::Sleep(2000);
    EXPECT_EQ(launches(), 10) << "the first launch and 9 relaunches, no more";
    EXPECT_EQ(Stop(), 0u);
}

TEST_F(AgentManagerTest, LogonReplacesTheSessionsAgentAndLogoffForgetsIt) {
    ASSERT_NE(Create(L"idle_agent.exe"), nullptr);
    const DWORD first = AwaitAgent(L"idle_agent.exe");
    ASSERT_NE(first, 0u);

    PostSessionMessage(AgentManagerMessage::Logon, 1);
    const DWORD second = AwaitAgent(L"idle_agent.exe", first);
    ASSERT_NE(second, 0u);
    EXPECT_THAT(sessions_.ended(), Contains(first)) << "a logon ends the session's agent";
    EXPECT_TRUE(WaitUntil([&] { return FindSupervisedAgent(second, nullptr); }));

    PostSessionMessage(AgentManagerMessage::Logoff, 1);
    EXPECT_TRUE(WaitUntil([&] { return !FindSupervisedAgent(second, nullptr); }));
    EXPECT_TRUE(ProcessRunning(second)) << "a logoff leaves the agent to end with its session";
    EXPECT_THAT(sessions_.ended(), SizeIs(1));

    PostSessionMessage(AgentManagerMessage::Logon, 1);  // the session has no record now
    EXPECT_TRUE(WaitUntil([&] { return ChildProcesses(L"idle_agent.exe").size() == 2; }))
        << "a new logon launches an agent beside the forgotten one";
    EXPECT_EQ(Stop(), 0u);
    EXPECT_THAT(ChildProcesses(L"idle_agent.exe"), ElementsAre(second)) << "stop ends only supervised agents";
    Kill(second);
}

TEST_F(AgentManagerTest, ARegistrationFailureGivesNoManagerAndNoAgent) {
    AgentRpcAuthentication() = [] { return static_cast<long>(RPC_S_OUT_OF_MEMORY); };
    EXPECT_EQ(Create(L"idle_agent.exe"), nullptr);
    ::Sleep(500);
    EXPECT_TRUE(ChildProcesses(L"idle_agent.exe").empty());
    AgentRpcAuthentication() = [] { return 0L; };
    EXPECT_NE(Create(L"idle_agent.exe"), nullptr) << "the failed manager left nothing behind";
    EXPECT_EQ(Stop(), 0u);
}

// The core may stop the manager as soon as it has one, while the server is barely listening.
TEST_F(AgentManagerTest, AStopRightAfterTheStartEndsEverything) {
    ASSERT_NE(Create(L"idle_agent.exe"), nullptr);
    EXPECT_EQ(Stop(), 0u);
    EXPECT_TRUE(WaitUntil([] { return ChildProcesses(L"idle_agent.exe").empty(); }));
    EXPECT_NE(Create(L"idle_agent.exe"), nullptr) << "the stopped manager left nothing behind";
    EXPECT_EQ(Stop(), 0u);
}

TEST_F(AgentManagerTest, WithoutWindowsAuthenticationTheServerStillServesItsAgents) {
    AgentRpcAuthentication() = [] { return static_cast<long>(RPC_S_UNKNOWN_AUTHN_SERVICE); };
    RecordingCore core(eventThread_);
    ASSERT_NE(Create(L"puppet_agent.exe", core.handler()), nullptr);
    Puppet puppet;
    ASSERT_TRUE(puppet.accept());
    EXPECT_EQ(puppet.call(L"open"), 0u);
    EXPECT_EQ(puppet.call(L"started\t1\twin32:a\tA"), 0u);
    EXPECT_THAT(core.calls(), ElementsAre(L"start win32:a " + SessionUserName(1)));
    EXPECT_EQ(Stop(), 0u);
}

// Wine's WTSTerminateProcess refuses: the real call must still end the process.
TEST(SessionSystem, TerminateProcessEndsTheProcess) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    std::wstring commandLine = L"\"" + siblingPath(L"idle_agent.exe") + L"\"";
    ASSERT_TRUE(::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                 &info));
    const UniqueHandle process(info.hProcess), thread(info.hThread);
    EXPECT_TRUE(RealSessionSystem().terminateProcess(info.dwProcessId));
    EXPECT_EQ(::WaitForSingleObject(process.get(), 20000), WAIT_OBJECT_0);
    if (ProcessRunning(info.dwProcessId)) ::TerminateProcess(process.get(), 1);
    DWORD exitCode = 1;
    ::GetExitCodeProcess(process.get(), &exitCode);
    EXPECT_EQ(exitCode, 0u);
}

// The core's event thread stops the manager while an RPC call waits for that same thread.
TEST_F(AgentManagerTest, StopDoesNotHangWhileADecisionIsPending) {
    std::atomic<bool> waiting = false;
    RecordingCore core(eventThread_);
    core.beforeDecision = [&] { waiting = true; };
    ASSERT_NE(Create(L"puppet_agent.exe", core.handler()), nullptr);
    Puppet puppet;
    ASSERT_TRUE(puppet.accept());
    ASSERT_EQ(puppet.call(L"open"), 0u);

    DWORD stopped = 1;
    std::thread agent([&] { puppet.call(L"started\t1\twin32:a\tA"); });
    eventThread_.run([&] {
        WaitUntil([&] { return waiting.load(); });
        stopped = StopAgentManager();
    });
    agent.join();
    EXPECT_EQ(stopped, 0u);
    EXPECT_TRUE(WaitUntil([] { return ChildProcesses(L"puppet_agent.exe").empty(); }));
}

}  // namespace
}  // namespace brisko
