// Whom the agent talks to: the verdict over a TCP table, the system's table as this platform
// gives it, and the agent against a test core whose socket a table double names as the
// launcher's or as another process's (Wine names no owner, so only a double can say who owns
// a socket here).
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "agent.h"
#include "core_link/peer_check.h"
#include "idle_monitor.h"
#include "test_core.h"

namespace brisko {
namespace {

using namespace std::chrono_literals;
using testing::TestCore;
using testing::waitUntil;

TcpEndpoint loopback(uint16_t port) {
    TcpEndpoint endpoint;
    endpoint.address = {127, 0, 0, 1};
    endpoint.port = port;
    return endpoint;
}

constexpr DWORD kAgent = 400;
constexpr DWORD kLauncher = 300;
constexpr DWORD kStranger = 500;
const TcpEndpoint kOurs = loopback(50123);
const TcpEndpoint kCore = loopback(3800);

struct VerdictCase {
    const char* name;
    std::vector<TcpRow> rows;
    PeerVerdict verdict;
};

TEST(PeerVerdict, NamesTheOwnerOfTheOtherEnd) {
    const TcpRow ours{kOurs, kCore, kAgent};
    const VerdictCase cases[] = {
        {"TheLaunchersSocket", {ours, {kCore, kOurs, kLauncher}}, PeerVerdict::Trusted},
        {"AnotherProcesssSocket", {ours, {kCore, kOurs, kStranger}}, PeerVerdict::Refused},
        {"TheAgentsOwnSocketAtTheOtherEnd", {ours, {kCore, kOurs, kAgent}}, PeerVerdict::Refused},
        {"TheOtherEndOnly", {{kCore, kOurs, kLauncher}}, PeerVerdict::Trusted},
        {"NoOtherEnd", {ours}, PeerVerdict::Absent},
        {"TheLaunchersSocketToAnotherPort", {ours, {kCore, loopback(50124), kLauncher}, {kCore, kOurs, kStranger}},
         PeerVerdict::Refused},
        {"TheOtherEndsOwnerUnknown", {ours, {kCore, kOurs, 0}}, PeerVerdict::OwnersUnknown},
        {"NoOwnerKnown", {{kOurs, kCore, 0}, {kCore, kOurs, 0}}, PeerVerdict::OwnersUnknown},
        {"AnEmptyTable", {}, PeerVerdict::Absent},
    };
    for (const VerdictCase& c : cases) EXPECT_EQ(judgePeer(c.rows, kOurs, kCore, kLauncher), c.verdict) << c.name;

    TcpEndpoint v6 = kCore;
    v6.family = AF_INET6;
    EXPECT_EQ(judgePeer({{kOurs, v6, kAgent}, {v6, kOurs, kLauncher}}, kOurs, kCore, kLauncher), PeerVerdict::Absent)
        << "another family is another endpoint";
}

// Winsock up for as long as a test's sockets live.
class WinsockTest : public ::testing::Test {
protected:
    WinsockTest() { started_ = ::WSAStartup(0x0202, &data_) == 0; }
    ~WinsockTest() override {
        if (started_) ::WSACleanup();
    }
    void SetUp() override { ASSERT_TRUE(started_); }

private:
    WSADATA data_{};
    bool started_ = false;
};

using SystemTcpTable = WinsockTest;

// A loopback connection to the test core once the core has accepted it (Wine 10 lists the
// core's end only then); invalid when either did not happen.
UniqueSocket connectAccepted(TestCore& core) {
    UniqueSocket client(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    address.sin_port = ::htons(core.port());
    if (::connect(client.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        !waitUntil([&] { return core.connections() == 1; }, 10s))
        return {};
    return client;
}

// The system's table has both ends of a loopback connection of this process. Under Wine the
// owners are often 0 (unknown), which the verdict takes as it is.
TEST_F(SystemTcpTable, HoldsBothEndsOfAConnection) {
    TestCore core(0);
    const UniqueSocket client = connectAccepted(core);
    ASSERT_TRUE(client) << "the test core did not accept a connection";
    sockaddr_in local{};
    int size = sizeof local;
    ASSERT_EQ(::getsockname(client.get(), reinterpret_cast<sockaddr*>(&local), &size), 0);
    const TcpEndpoint ours = loopback(::ntohs(local.sin_port));
    const TcpEndpoint peer = loopback(core.port());

    const std::vector<TcpRow> rows = systemTcpTable(AF_INET);
    const TcpRow* own = nullptr;
    const TcpRow* other = nullptr;
    for (const TcpRow& row : rows) {
        if (row.local == ours && row.remote == peer) own = &row;
        if (row.local == peer && row.remote == ours) other = &row;
    }
    ASSERT_NE(own, nullptr);
    ASSERT_NE(other, nullptr);
    std::printf("owners in the system's table: this connection %lu, its other end %lu (this process %lu)\n",
                static_cast<unsigned long>(own->owner), static_cast<unsigned long>(other->owner),
                static_cast<unsigned long>(::GetCurrentProcessId()));
    EXPECT_TRUE(other->owner == 0 || other->owner == ::GetCurrentProcessId()) << other->owner;
    EXPECT_EQ(judgePeer(rows, ours, peer, kLauncher),
              other->owner == 0 ? PeerVerdict::OwnersUnknown : PeerVerdict::Refused)
        << "the other end is this process's, not the launcher's";
}

// The system's table with the owners a platform that names them would give: the test core's
// socket is `coreOwner`'s, every other one this process's.
TcpTableSource ownersNamed(uint16_t corePort, DWORD coreOwner) {
    return [corePort, coreOwner](int family) {
        std::vector<TcpRow> rows = systemTcpTable(family);
        for (TcpRow& row : rows) row.owner = row.local.port == corePort ? coreOwner : ::GetCurrentProcessId();
        return rows;
    };
}

// A table that lists the core's end of a connection only from its `listedFrom`-th read on (as
// Wine 10 does until the core accepts), the launcher's then.
TcpTableSource listedLate(uint16_t corePort, int listedFrom, std::shared_ptr<int> reads) {
    return [corePort, listedFrom, reads](int family) {
        std::vector<TcpRow> rows = ownersNamed(corePort, kLauncher)(family);
        if (++*reads < listedFrom)
            std::erase_if(rows, [corePort](const TcpRow& row) { return row.local.port == corePort; });
        return rows;
    };
}

// The check looks again for a core's end that the table lists late, and refuses one it never lists.
TEST_F(SystemTcpTable, ACoreEndListedLateIsWaitedForAMoment) {
    TestCore core(0);
    const UniqueSocket client = connectAccepted(core);
    ASSERT_TRUE(client) << "the test core did not accept a connection";

    const auto late = std::make_shared<int>(0);
    EXPECT_TRUE(launcherOwnsPeer(kLauncher, listedLate(core.port(), 3, late))(client.get()));
    EXPECT_EQ(*late, 3);
    const auto never = std::make_shared<int>(0);
    EXPECT_FALSE(launcherOwnsPeer(kLauncher, listedLate(core.port(), 1'000, never))(client.get()));
    EXPECT_GT(*never, 1) << "looked only once";
}

class AgentCoreCheck : public WinsockTest {
protected:
    std::shared_ptr<Agent> agentTrusting(DWORD coreOwner) {
        return std::make_shared<Agent>(
            nullptr, notifier, proxy, testing::idleMonitor(), performanceCounter(),
            CoreEndpoint{"127.0.0.1", core.port(), 0.3, launcherOwnsPeer(kLauncher, ownersNamed(core.port(), coreOwner))});
    }

    TestCore core{0};
    SilentNotifier notifier;
    InactiveProxyGuard proxy;
};

TEST_F(AgentCoreCheck, ACoreInTheLaunchingProcessIsTalkedTo) {
    const auto agent = agentTrusting(kLauncher);
    agent->openConnection();
    EXPECT_TRUE(waitUntil([&] { return core.received().size() == 1; }, 10s)) << "no SessionUser";
    agent->closeConnection();
}

// The other listener is connected to, found to be a stranger, dropped and retried: after the
// third attempt it has still received nothing, the parents' password least of all.
TEST_F(AgentCoreCheck, AListenerOfAnyOtherProcessReceivesNothing) {
    core.answerChangeProtection(0);
    const auto agent = agentTrusting(kStranger);
    agent->openConnection();
    const auto result = std::make_shared<int>(INT32_MIN);
    agent->requestProtectionChange(false, 60'000, "parents' secret",
                                   Completion<int>(result, [](int& into, int code) { into = code; }));
    ASSERT_TRUE(waitUntil([&] { return core.connections() >= 3 && core.disconnections() >= 3; }, 10s))
        << core.connections() << " connections";
    EXPECT_TRUE(core.received().empty()) << core.received().size() << " frames reached the stranger";
    EXPECT_EQ(*result, -1) << "the request ended with the refused connection";
    agent->closeConnection();
}

}  // namespace
}  // namespace brisko
