// The agent's service link against the real RPC server of the service under Wine: the agent
// manager launches the client (activity_client.exe, the real ActivityMonitor driven over a pipe)
// and its reports reach the core's Handler in order; a service that stops taking calls, or a
// client the manager did not launch, makes the agent end itself.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "agent_rpc/agent_rpc_server.h"
#include "served_agents.h"

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

class ActivityRpcTest : public ServedAgentTest {
protected:
    ActivityRpcTest() : ServedAgentTest(L"activity_client.exe", L"MyApp.EXE") {}
};

TEST_F(ActivityRpcTest, ReportsArriveInOrderAndShutdownClosesTheList) {
    Client client(agent_.processId());
    EXPECT_EQ(agent_.call(L"initial\t" + pid(1) + L"\twin32:a.exe\tA\t" + pid(2) + L"\twin32:b.exe\tB"), 1u);
    EXPECT_EQ(agent_.call(L"started\t" + pid(3) + L"\twin32:c.exe\tC"), 1u);
    EXPECT_EQ(agent_.call(L"stopped\t" + pid(1) + L"\twin32:a.exe\tA"), 1u);
    EXPECT_EQ(agent_.call(L"started\t" + pid(4) + L"\twin32:d.exe\t"), 1u) << "an empty name is sent as such";
    EXPECT_EQ(agent_.call(L"stopped\t" + pid(3) + L"\twin32:c.exe\tC"), 1u);
    EXPECT_THAT(core_.calls(), ElementsAre(started(L"win32:a.exe"), started(L"win32:b.exe"), started(L"win32:c.exe"),
                                           stopped(L"win32:a.exe"), started(L"win32:d.exe"), stopped(L"win32:c.exe")));

    EXPECT_EQ(agent_.call(L"end"), 0u);
    EXPECT_EQ(client.exitCode(), 0u) << "CloseApplicationList must succeed and give the handle back null";
}

TEST_F(ActivityRpcTest, AnEmptyFirstListStillOpensOne) {
    EXPECT_EQ(agent_.call(L"initial"), 1u);
    EXPECT_EQ(agent_.call(L"initial\t" + pid(1) + L"\twin32:e.exe\tE"), 1u) << "a new first list replaces the handle";
    EXPECT_THAT(core_.calls(), ElementsAre(started(L"win32:e.exe")));
}

TEST_F(ActivityRpcTest, AServiceThatStopsTakingCallsEndsTheAgent) {
    Client client(agent_.processId());
    EXPECT_EQ(agent_.call(L"initial\t" + pid(1) + L"\twin32:a.exe\tA"), 1u);
    UnregisterAgentRpcInterface();
    EXPECT_EQ(agent_.call(L"started\t" + pid(2) + L"\twin32:b.exe\tB"), 0u) << "the failed call drops the list";
    EXPECT_EQ(client.exitCode(), kEndedItself);
    EXPECT_THAT(core_.calls(), ElementsAre(started(L"win32:a.exe")));
}

TEST_F(ActivityRpcTest, AClientTheManagerDidNotLaunchIsRefusedAndEnds) {
    const ChildProcess byHand = ChildProcess::sibling(L"activity_client.exe");
    Puppet stranger;
    ASSERT_TRUE(stranger.accept());
    Client client(stranger.processId());
    EXPECT_EQ(stranger.call(L"initial\t5\twin32:e.exe\tE"), 0u);
    EXPECT_EQ(client.exitCode(), kEndedItself);
    EXPECT_THAT(core_.calls(), IsEmpty());
}

}  // namespace
}  // namespace brisko
