// The agent manager under Wine with real processes: small programs stand in for the agent.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <rpc.h>

#include <atomic>
#include <fstream>
#include <optional>
#include <thread>

#include "agent_manager/reported_process.h"
#include "agent_rpc/agent_rpc_server.h"
#include "served_agents.h"
#include "text.h"

namespace brisko {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::SizeIs;
using namespace brisko::testing;

// The one running agent of that name, once there is exactly one other than `previous`.
DWORD AwaitAgent(const std::wstring& agent, DWORD previous = 0) {
    DWORD found = 0;
    pollUntil([&] {
        const std::vector<DWORD> running = childProcesses(agent);
        found = running.size() == 1 && running[0] != previous ? running[0] : 0;
        return found != 0;
    });
    return found;
}

TEST_F(AgentManagerTest, LaunchesAsTheSessionUserAndRelaunchesAKilledAgent) {
    ASSERT_NE(createManager(L"idle_agent.exe"), nullptr);
    EXPECT_EQ(createManager(L"idle_agent.exe"), nullptr) << "one manager per process";

    const DWORD first = AwaitAgent(L"idle_agent.exe");
    ASSERT_NE(first, 0u) << "no agent was launched";
    std::wstring user;
    ASSERT_TRUE(pollUntil([&] { return FindSupervisedAgent(first, &user); }));
    EXPECT_EQ(user, sessionUser());
    EXPECT_FALSE(FindSupervisedAgent(::GetCurrentProcessId(), nullptr));

    endProcess(first);
    const DWORD second = AwaitAgent(L"idle_agent.exe", first);
    ASSERT_NE(second, 0u) << "the killed agent was not relaunched";
    EXPECT_TRUE(pollUntil([&] { return FindSupervisedAgent(second, nullptr); }));
    EXPECT_FALSE(FindSupervisedAgent(first, nullptr));

    EXPECT_EQ(stopManager(), 0u);
    EXPECT_FALSE(processRunning(second)) << "stop ends every agent";
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
    ASSERT_NE(createManager(L"exiting_agent.exe"), nullptr);
    EXPECT_TRUE(pollUntil([&] { return launches() >= 10; }, 60000));
    ::Sleep(2000);
    EXPECT_EQ(launches(), 10) << "the first launch and 9 relaunches, no more";
    EXPECT_EQ(stopManager(), 0u);
}

TEST_F(AgentManagerTest, LogonReplacesTheSessionsAgentAndLogoffForgetsIt) {
    ASSERT_NE(createManager(L"idle_agent.exe"), nullptr);
    const DWORD first = AwaitAgent(L"idle_agent.exe");
    ASSERT_NE(first, 0u);

    PostSessionMessage(AgentManagerMessage::Logon, 1);
    const DWORD second = AwaitAgent(L"idle_agent.exe", first);
    ASSERT_NE(second, 0u);
    EXPECT_THAT(sessions_.ended(), Contains(first)) << "a logon ends the session's agent";
    EXPECT_TRUE(pollUntil([&] { return FindSupervisedAgent(second, nullptr); }));

    PostSessionMessage(AgentManagerMessage::Logoff, 1);
    EXPECT_TRUE(pollUntil([&] { return !FindSupervisedAgent(second, nullptr); }));
    EXPECT_TRUE(processRunning(second)) << "a logoff leaves the agent to end with its session";
    EXPECT_THAT(sessions_.ended(), SizeIs(1));

    PostSessionMessage(AgentManagerMessage::Logon, 1);  // the session has no record now
    EXPECT_TRUE(pollUntil([&] { return childProcesses(L"idle_agent.exe").size() == 2; }))
        << "a new logon launches an agent beside the forgotten one";
    EXPECT_EQ(stopManager(), 0u);
    EXPECT_THAT(childProcesses(L"idle_agent.exe"), ElementsAre(second)) << "stop ends only supervised agents";
    endProcess(second);
}

TEST_F(AgentManagerTest, ARegistrationFailureGivesNoManagerAndNoAgent) {
    AgentRpcAuthentication() = [] { return static_cast<long>(RPC_S_OUT_OF_MEMORY); };
    EXPECT_EQ(createManager(L"idle_agent.exe"), nullptr);
    ::Sleep(500);
    EXPECT_TRUE(childProcesses(L"idle_agent.exe").empty());
    AgentRpcAuthentication() = [] { return 0L; };
    EXPECT_NE(createManager(L"idle_agent.exe"), nullptr) << "the failed manager left nothing behind";
    EXPECT_EQ(stopManager(), 0u);
}

// The core may stop the manager as soon as it has one, while the server is barely listening.
TEST_F(AgentManagerTest, AStopRightAfterTheStartEndsEverything) {
    ASSERT_NE(createManager(L"idle_agent.exe"), nullptr);
    EXPECT_EQ(stopManager(), 0u);
    EXPECT_TRUE(pollUntil([] { return childProcesses(L"idle_agent.exe").empty(); }));
    EXPECT_NE(createManager(L"idle_agent.exe"), nullptr) << "the stopped manager left nothing behind";
    EXPECT_EQ(stopManager(), 0u);
}

// Wine's WTSTerminateProcess refuses: the real call must still end the process.
TEST(SessionSystem, TerminateProcessEndsTheProcess) {
    const ChildProcess application = ChildProcess::sibling(L"idle_agent.exe");
    ASSERT_TRUE(application);
    EXPECT_TRUE(RealSessionSystem().terminateProcess(application.id()));
    EXPECT_EQ(application.waitForExit(20000), std::optional<DWORD>(0));
}

// The account of a process is its token's user; a process of the same user has the same one.
TEST(SessionSystem, AccountOfAProcessIsItsUsersSid) {
    const ChildProcess application = ChildProcess::sibling(L"idle_agent.exe");
    ASSERT_TRUE(application);
    const std::optional<std::wstring> own = RealSessionSystem().accountOfProcess(::GetCurrentProcessId());
    ASSERT_TRUE(own.has_value());
    EXPECT_TRUE(own->starts_with(L"S-1-5-")) << wideToUtf8(*own);
    EXPECT_EQ(RealSessionSystem().accountOfProcess(application.id()), own);
    EXPECT_EQ(RealSessionSystem().accountOfProcess(0xFFFFFFF0), std::nullopt) << "no such process";
}

// A process is ended only while it is the one the agent reported: an id reused by another
// process, or the service's own, is left alone.
TEST(ReportedProcess, OnlyTheProcessCreatedAtTheReportedTimeIsEnded) {
    ASSERT_EQ(RealSessionSystem().sessionOfProcess(::GetCurrentProcessId()), std::optional<DWORD>(1));
    const ChildProcess application = ChildProcess::sibling(L"idle_agent.exe");
    const std::optional<uint64_t> createdAt = StampReportedProcess(::GetCurrentProcessId(), application.id());
    ASSERT_TRUE(createdAt.has_value());
    EXPECT_FALSE(StampReportedProcess(::GetCurrentProcessId(), ::GetCurrentProcessId()).has_value());

    EXPECT_FALSE(EndReportedProcess(application.id(), *createdAt - 1)) << "the id names another process now";
    EXPECT_FALSE(application.waitForExit(500));
    EXPECT_TRUE(EndReportedProcess(application.id(), *createdAt));
    EXPECT_TRUE(application.waitForExit(10000));
    EXPECT_FALSE(EndReportedProcess(application.id(), *createdAt)) << "the process is gone";
    EXPECT_FALSE(StampReportedProcess(::GetCurrentProcessId(), application.id()).has_value());
}

// The core's event thread stops the manager while an RPC call waits for that same thread.
TEST_F(AgentManagerTest, StopDoesNotHangWhileADecisionIsPending) {
    std::atomic<bool> waiting = false;
    RecordingCore core(eventThread_);
    core.beforeDecision = [&] { waiting = true; };
    ASSERT_NE(createManager(L"puppet_agent.exe", core.handler()), nullptr);
    Puppet puppet;
    ASSERT_TRUE(puppet.accept());
    ASSERT_EQ(puppet.call(L"open"), 0u);

    const ChildProcess application = ChildProcess::sibling(L"idle_agent.exe");
    DWORD stopped = 1;
    std::thread agent([&] { puppet.call(L"started\t" + std::to_wstring(application.id()) + L"\twin32:a\tA"); });
    bool decisionPending = false;
    eventThread_.run([&] {
        decisionPending = pollUntil([&] { return waiting.load(); });
        stopped = StopAgentManager();
    });
    agent.join();
    EXPECT_TRUE(decisionPending) << "the report never reached the core";
    EXPECT_EQ(stopped, 0u);
    EXPECT_TRUE(pollUntil([] { return childProcesses(L"puppet_agent.exe").empty(); }));
}

}  // namespace
}  // namespace brisko
