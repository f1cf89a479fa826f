// The agent RPC server under Wine with real RPC: a puppet agent launched by the manager calls
// the four procedures; decisions reach the Handler on the event thread.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <rpc.h>

#include "served_agents.h"

namespace brisko {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using namespace brisko::testing;

class AgentRpcTest : public ServedAgentTest {
protected:
    AgentRpcTest() : ServedAgentTest(L"puppet_agent.exe") {}
};

TEST_F(AgentRpcTest, ProceduresReachTheCoreAndCloseGivesBackNull) {
    EXPECT_EQ(agent_.call(L"open"), 0u);
    EXPECT_EQ(agent_.call(L"started\t100\twin32:a.exe\tA"), 0u);
    EXPECT_EQ(agent_.call(L"stopped\t100\twin32:a.exe\tA"), 0u);
    EXPECT_EQ(agent_.call(L"stopped\t100\twin32:a.exe\tA"), 0u) << "an unlisted stop changes nothing";
    EXPECT_EQ(agent_.call(L"close"), 0u);
    EXPECT_EQ(agent_.call(L"reuse"), static_cast<DWORD>(RPC_X_SS_CONTEXT_MISMATCH)) << "a closed handle is refused";
    EXPECT_THAT(core_.calls(), ElementsAre(started(L"win32:a.exe"), stopped(L"win32:a.exe")));
}

TEST_F(AgentRpcTest, ARefusedStartEndsTheProcess) {
    core_.refuse(L"win32:idle_agent.exe");
    const ChildProcess application = ChildProcess::sibling(L"idle_agent.exe");
    ASSERT_TRUE(application);
    const std::wstring pid = std::to_wstring(application.id());

    EXPECT_EQ(agent_.call(L"open"), 0u);
    EXPECT_EQ(agent_.call(L"started\t" + pid + L"\twin32:idle_agent.exe\tIdle"), 0u);
    EXPECT_TRUE(application.ended(10000)) << "the refused process still runs";
    EXPECT_THAT(sessions_.ended(), ElementsAre(application.id()));
    EXPECT_EQ(agent_.call(L"stopped\t" + pid + L"\twin32:idle_agent.exe\tIdle"), 0u);
    EXPECT_THAT(core_.calls(), ElementsAre(started(L"win32:idle_agent.exe"))) << "nothing was listed, nothing stops";
}

TEST_F(AgentRpcTest, TwoProcessesOfOneApplicationGiveOneStartAndOneStop) {
    EXPECT_EQ(agent_.call(L"open"), 0u);
    EXPECT_EQ(agent_.call(L"started\t10\twin32:b.exe\tB"), 0u);
    EXPECT_EQ(agent_.call(L"started\t11\twin32:b.exe\tB"), 0u);
    EXPECT_EQ(agent_.call(L"stopped\t10\twin32:b.exe\tB"), 0u);
    EXPECT_THAT(core_.calls(), ElementsAre(started(L"win32:b.exe")));
    EXPECT_EQ(agent_.call(L"stopped\t11\twin32:b.exe\tB"), 0u);
    EXPECT_THAT(core_.calls(), ElementsAre(started(L"win32:b.exe"), stopped(L"win32:b.exe")));
}

TEST_F(AgentRpcTest, AReconnectingListIsSynchronised) {
    EXPECT_EQ(agent_.call(L"open\t1\twin32:a\tA\t2\twin32:b\tB\t3\twin32:c\tC"), 0u);
    EXPECT_EQ(agent_.call(L"open\t2\twin32:b\tB\t3\twin32:x\tX\t4\twin32:d\tD"), 0u);
    EXPECT_THAT(core_.calls(), ElementsAre(started(L"win32:a"), started(L"win32:b"), started(L"win32:c"), stopped(L"win32:a"),
                                           stopped(L"win32:c"), started(L"win32:x"), started(L"win32:d")));
    EXPECT_EQ(agent_.call(L"open"), 0u) << "an empty report still gives a handle";
    EXPECT_EQ(core_.calls().size(), 10u);
    EXPECT_EQ(agent_.call(L"close"), 0u);
}

TEST_F(AgentRpcTest, AClientTheManagerDidNotLaunchIsRefused) {
    const ChildProcess byHand = ChildProcess::sibling(L"puppet_agent.exe");
    Puppet stranger;
    ASSERT_TRUE(stranger.accept());
    EXPECT_EQ(stranger.call(L"open\t5\twin32:e\tE"), static_cast<DWORD>(RPC_S_ACCESS_DENIED));
    EXPECT_THAT(core_.calls(), IsEmpty());
}

TEST_F(AgentRpcTest, AKilledClientIsRunDownAndItsListKept) {
    EXPECT_EQ(agent_.call(L"open\t1\twin32:a\tA"), 0u);
    endProcess(agent_.processId());

    Puppet relaunched;
    ASSERT_TRUE(relaunched.accept()) << "the killed agent was not relaunched";
    EXPECT_NE(relaunched.processId(), agent_.processId());
    EXPECT_EQ(relaunched.call(L"open"), 0u);
    EXPECT_THAT(core_.calls(), ElementsAre(started(L"win32:a"), stopped(L"win32:a")));
}

}  // namespace
}  // namespace brisko
