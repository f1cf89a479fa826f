// The agent RPC server under Wine with real RPC: a puppet agent launched by the manager calls
// the four procedures; decisions reach the Handler on the event thread.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <rpc.h>

#include "agent_manager/agent_manager.h"
#include "agent_manager/session_system.h"
#include "agent_test_support.h"

namespace brisko {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using namespace brisko::testing;

class AgentRpcTest : public ::testing::Test {
protected:
    void SetUp() override {
        user_ = SessionUserName(1);
        eventThread_.run([&] { manager_ = CreateAgentManager(siblingPath(L"puppet_agent.exe"), core_.handler()); });
        ASSERT_NE(manager_, nullptr);
        ASSERT_TRUE(puppet_.accept()) << "the manager did not launch the puppet agent";
    }
    void TearDown() override {
        DWORD status = 1;
        eventThread_.run([&] { status = StopAgentManager(); });
        EXPECT_EQ(status, 0u);
        EXPECT_TRUE(WaitUntil([] { return ChildProcesses(L"puppet_agent.exe").empty(); }));
        EndChildProcesses();
    }

    std::wstring Start(const std::wstring& id) { return L"start " + id + L" " + user_; }
    std::wstring Stop(const std::wstring& id) { return L"stop " + id + L" " + user_; }

    FakeSessions sessions_;
    TestEventThread eventThread_;
    RecordingCore core_{eventThread_};
    AgentManager* manager_ = nullptr;
    Puppet puppet_;
    std::wstring user_;
};

TEST_F(AgentRpcTest, ProceduresReachTheCoreAndCloseGivesBackNull) {
    EXPECT_EQ(puppet_.call(L"open"), 0u);
    EXPECT_EQ(puppet_.call(L"started\t100\twin32:a.exe\tA"), 0u);
    EXPECT_EQ(puppet_.call(L"stopped\t100\twin32:a.exe\tA"), 0u);
    EXPECT_EQ(puppet_.call(L"stopped\t100\twin32:a.exe\tA"), 0u) << "an unlisted stop changes nothing";
    EXPECT_EQ(puppet_.call(L"close"), 0u);
    EXPECT_NE(puppet_.call(L"reuse"), 0u) << "a closed handle is refused";
    EXPECT_THAT(core_.calls(), ElementsAre(Start(L"win32:a.exe"), Stop(L"win32:a.exe")));
}

TEST_F(AgentRpcTest, ARefusedStartEndsTheProcess) {
    core_.refuse(L"win32:idle_agent.exe");
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    std::wstring path = siblingPath(L"idle_agent.exe");
    ASSERT_TRUE(::CreateProcessW(path.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
    UniqueHandle process(info.hProcess), thread(info.hThread);
    const std::wstring pid = std::to_wstring(info.dwProcessId);

    EXPECT_EQ(puppet_.call(L"open"), 0u);
    EXPECT_EQ(puppet_.call(L"started\t" + pid + L"\twin32:idle_agent.exe\tIdle"), 0u);
    EXPECT_EQ(::WaitForSingleObject(process.get(), 10000), WAIT_OBJECT_0) << "the refused process still runs";
    EXPECT_THAT(sessions_.ended(), ElementsAre(info.dwProcessId));
    EXPECT_EQ(puppet_.call(L"stopped\t" + pid + L"\twin32:idle_agent.exe\tIdle"), 0u);
    EXPECT_THAT(core_.calls(), ElementsAre(Start(L"win32:idle_agent.exe"))) << "nothing was listed, nothing stops";
}

TEST_F(AgentRpcTest, TwoProcessesOfOneApplicationGiveOneStartAndOneStop) {
    EXPECT_EQ(puppet_.call(L"open"), 0u);
    EXPECT_EQ(puppet_.call(L"started\t10\twin32:b.exe\tB"), 0u);
    EXPECT_EQ(puppet_.call(L"started\t11\twin32:b.exe\tB"), 0u);
    EXPECT_EQ(puppet_.call(L"stopped\t10\twin32:b.exe\tB"), 0u);
    EXPECT_THAT(core_.calls(), ElementsAre(Start(L"win32:b.exe")));
    EXPECT_EQ(puppet_.call(L"stopped\t11\twin32:b.exe\tB"), 0u);
    EXPECT_THAT(core_.calls(), ElementsAre(Start(L"win32:b.exe"), Stop(L"win32:b.exe")));
}

TEST_F(AgentRpcTest, AReconnectingListIsSynchronised) {
    EXPECT_EQ(puppet_.call(L"open\t1\twin32:a\tA\t2\twin32:b\tB\t3\twin32:c\tC"), 0u);
    EXPECT_EQ(puppet_.call(L"open\t2\twin32:b\tB\t3\twin32:x\tX\t4\twin32:d\tD"), 0u);
    EXPECT_THAT(core_.calls(), ElementsAre(Start(L"win32:a"), Start(L"win32:b"), Start(L"win32:c"), Stop(L"win32:a"),
                                           Stop(L"win32:c"), Start(L"win32:x"), Start(L"win32:d")));
    EXPECT_EQ(puppet_.call(L"open"), 0u) << "an empty report still gives a handle";
    EXPECT_EQ(core_.calls().size(), 10u);
    EXPECT_EQ(puppet_.call(L"close"), 0u);
}

TEST_F(AgentRpcTest, AClientTheManagerDidNotLaunchIsRefused) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    std::wstring path = siblingPath(L"puppet_agent.exe");
    ASSERT_TRUE(::CreateProcessW(path.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
    UniqueHandle process(info.hProcess), thread(info.hThread);
    Puppet stranger;
    ASSERT_TRUE(stranger.accept());
    EXPECT_EQ(stranger.call(L"open\t5\twin32:e\tE"), static_cast<DWORD>(RPC_S_ACCESS_DENIED));
    EXPECT_THAT(core_.calls(), IsEmpty());
}

TEST_F(AgentRpcTest, AKilledClientIsRunDownAndItsListKept) {
    EXPECT_EQ(puppet_.call(L"open\t1\twin32:a\tA"), 0u);
    UniqueHandle agent(::OpenProcess(PROCESS_TERMINATE, FALSE, puppet_.processId()));
    ASSERT_TRUE(::TerminateProcess(agent.get(), 9));

    Puppet relaunched;
    ASSERT_TRUE(relaunched.accept()) << "the killed agent was not relaunched";
    EXPECT_NE(relaunched.processId(), puppet_.processId());
    EXPECT_EQ(relaunched.call(L"open"), 0u);
    EXPECT_THAT(core_.calls(), ElementsAre(Start(L"win32:a"), Stop(L"win32:a")));
}

}  // namespace
}  // namespace brisko
