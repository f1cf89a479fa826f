// The agent's service link against the real RPC server of the service under Wine: the agent
// manager launches the client (activity_client.exe, the real ActivityMonitor driven over a pipe)
// and its reports reach the core's Handler in order; a service that stops taking calls, or a
// client the manager did not launch, makes the agent end itself.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "agent_manager/agent_manager.h"
#include "agent_manager/session_system.h"
#include "agent_rpc/agent_rpc_server.h"
#include "agent_test_support.h"

namespace brisko {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using namespace brisko::testing;

constexpr DWORD kEndedItself = 2;

// The client process: its exit code tells how it ended (see activity_client.cpp).
class Client {
public:
    explicit Client(DWORD processId)
        : process_(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId)) {}
    // The exit code, or STILL_ACTIVE when the client is still running after 20 s.
    DWORD exitCode() const {
        DWORD code = STILL_ACTIVE;
        if (::WaitForSingleObject(process_.get(), 20000) == WAIT_OBJECT_0) ::GetExitCodeProcess(process_.get(), &code);
        return code;
    }

private:
    UniqueHandle process_;
};

class ActivityRpcTest : public ::testing::Test {
protected:
    void SetUp() override {
        user_ = SessionUserName(1);
        eventThread_.run([&] { manager_ = CreateAgentManager(siblingPath(L"activity_client.exe"), core_.handler()); });
        ASSERT_NE(manager_, nullptr);
        ASSERT_TRUE(agent_.accept()) << "the manager did not launch the client";
    }
    void TearDown() override {
        DWORD status = 1;
        eventThread_.run([&] { status = StopAgentManager(); });
        EXPECT_EQ(status, 0u);
        EXPECT_TRUE(WaitUntil([] { return ChildProcesses(L"activity_client.exe").empty(); }));
    }

    std::wstring Start(const std::wstring& id) { return L"start " + id + L" " + user_; }
    std::wstring Stop(const std::wstring& id) { return L"stop " + id + L" " + user_; }

    FakeSessions sessions_;
    TestEventThread eventThread_;
    RecordingCore core_{eventThread_};
    AgentManager* manager_ = nullptr;
    Puppet agent_;
    std::wstring user_;
};

TEST_F(ActivityRpcTest, ReportsArriveInOrderAndShutdownClosesTheList) {
    Client client(agent_.processId());
    EXPECT_EQ(agent_.call(L"initial\t1\twin32:a.exe\tA\t2\twin32:b.exe\tB"), 1u);
    EXPECT_EQ(agent_.call(L"started\t3\twin32:c.exe\tC"), 1u);
    EXPECT_EQ(agent_.call(L"stopped\t1\twin32:a.exe\tA"), 1u);
    EXPECT_EQ(agent_.call(L"started\t4\twin32:d.exe\t"), 1u) << "an empty name is sent as such";
    EXPECT_EQ(agent_.call(L"stopped\t3\twin32:c.exe\tC"), 1u);
    EXPECT_THAT(core_.calls(), ElementsAre(Start(L"win32:a.exe"), Start(L"win32:b.exe"), Start(L"win32:c.exe"),
                                           Stop(L"win32:a.exe"), Start(L"win32:d.exe"), Stop(L"win32:c.exe")));

    EXPECT_EQ(agent_.call(L"end"), 0u);
    EXPECT_EQ(client.exitCode(), 0u) << "CloseApplicationList must succeed and give the handle back null";
}

TEST_F(ActivityRpcTest, AnEmptyFirstListStillOpensOne) {
    EXPECT_EQ(agent_.call(L"initial"), 1u);
    EXPECT_EQ(agent_.call(L"initial\t7\twin32:e.exe\tE"), 1u) << "a new first list replaces the handle";
    EXPECT_THAT(core_.calls(), ElementsAre(Start(L"win32:e.exe")));
}

TEST_F(ActivityRpcTest, AServiceThatStopsTakingCallsEndsTheAgent) {
    Client client(agent_.processId());
    EXPECT_EQ(agent_.call(L"initial\t1\twin32:a.exe\tA"), 1u);
    UnregisterAgentRpcInterface();
    EXPECT_EQ(agent_.call(L"started\t2\twin32:b.exe\tB"), 0u) << "the failed call drops the list";
    EXPECT_EQ(client.exitCode(), kEndedItself);
    EXPECT_THAT(core_.calls(), ElementsAre(Start(L"win32:a.exe")));
}

TEST_F(ActivityRpcTest, AClientTheManagerDidNotLaunchIsRefusedAndEnds) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    std::wstring path = siblingPath(L"activity_client.exe");
    ASSERT_TRUE(::CreateProcessW(path.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
    const UniqueHandle process(info.hProcess), thread(info.hThread);
    Puppet stranger;
    ASSERT_TRUE(stranger.accept());
    Client client(stranger.processId());
    EXPECT_EQ(stranger.call(L"initial\t5\twin32:e.exe\tE"), 0u);
    EXPECT_EQ(client.exitCode(), kEndedItself);
    EXPECT_THAT(core_.calls(), IsEmpty());
}

}  // namespace
}  // namespace brisko
