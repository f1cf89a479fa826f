// The agent RPC server under Wine with real RPC: a puppet agent launched by the manager calls
// the four procedures; decisions reach the Handler on the event thread.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <rpc.h>

#include "served_agents.h"
#include "text.h"

namespace brisko {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using namespace brisko::testing;

class AgentRpcTest : public ServedAgentTest {
protected:
    AgentRpcTest() : ServedAgentTest(L"puppet_agent.exe", L"idle_agent.exe") {}
};

TEST_F(AgentRpcTest, ProceduresReachTheCoreAndCloseGivesBackNull) {
    EXPECT_EQ(agent_.call(L"open"), 0u);
    EXPECT_EQ(agent_.call(L"started\t" + pid(1) + L"\twin32:a.exe\tA"), 0u);
    EXPECT_EQ(agent_.call(L"stopped\t" + pid(1) + L"\twin32:a.exe\tA"), 0u);
    EXPECT_EQ(agent_.call(L"stopped\t" + pid(1) + L"\twin32:a.exe\tA"), 0u) << "an unlisted stop changes nothing";
    EXPECT_EQ(agent_.call(L"close"), 0u);
    EXPECT_EQ(agent_.call(L"reuse"), static_cast<DWORD>(RPC_X_SS_CONTEXT_MISMATCH)) << "a closed handle is refused";
    EXPECT_THAT(core_.calls(), ElementsAre(started(L"win32:a.exe"), stopped(L"win32:a.exe")));
}

TEST_F(AgentRpcTest, ARefusedStartEndsTheProcess) {
    core_.refuse(L"win32:idle_agent.exe");
    EXPECT_EQ(agent_.call(L"open"), 0u);
    EXPECT_EQ(agent_.call(L"started\t" + pid(1) + L"\twin32:idle_agent.exe\tIdle"), 0u);
    EXPECT_TRUE(application(1).waitForExit(10000)) << "the refused process still runs";
    EXPECT_THAT(sessions_.ended(), ElementsAre(application(1).id()));
    EXPECT_EQ(agent_.call(L"stopped\t" + pid(1) + L"\twin32:idle_agent.exe\tIdle"), 0u);
    EXPECT_THAT(core_.calls(), ElementsAre(started(L"win32:idle_agent.exe"))) << "nothing was listed, nothing stops";
}

// A report without an identifier (the agent could not open the process) is named by the
// service, which opens every reported process anyway; one that no one can name (here: a process
// that is gone) is not put to the core as "", in a list or alone.
TEST_F(AgentRpcTest, AReportWithoutIdentifierIsNamedByTheServiceOrNotDecided) {
    core_.refuse(L"win32:idle_agent.exe");
    EXPECT_EQ(agent_.call(L"open\t" + pid(2) + L"\t\tName\t" + pid(3) + L"\twin32:c\tC"), 0u);
    EXPECT_TRUE(application(2).waitForExit(10000)) << "the refused process the agent could not name still runs";
    EXPECT_EQ(agent_.call(L"started\t" + pid(1) + L"\t\tName"), 0u);
    EXPECT_TRUE(application(1).waitForExit(10000));
    EXPECT_EQ(agent_.call(L"started\t" + pid(1) + L"\t\tName"), 0u) << "a process that is gone";
    EXPECT_EQ(agent_.call(L"started\t999999\t\tName"), 0u) << "no such process";
    EXPECT_THAT(core_.calls(), ElementsAre(started(L"win32:idle_agent.exe"), started(L"win32:c"),
                                           started(L"win32:idle_agent.exe")));
}

TEST_F(AgentRpcTest, TwoProcessesOfOneApplicationGiveOneStartAndOneStop) {
    EXPECT_EQ(agent_.call(L"open"), 0u);
    EXPECT_EQ(agent_.call(L"started\t" + pid(1) + L"\twin32:b.exe\tB"), 0u);
    EXPECT_EQ(agent_.call(L"started\t" + pid(2) + L"\twin32:b.exe\tB"), 0u);
    EXPECT_EQ(agent_.call(L"stopped\t" + pid(1) + L"\twin32:b.exe\tB"), 0u);
    EXPECT_THAT(core_.calls(), ElementsAre(started(L"win32:b.exe")));
    EXPECT_EQ(agent_.call(L"stopped\t" + pid(2) + L"\twin32:b.exe\tB"), 0u);
    EXPECT_THAT(core_.calls(), ElementsAre(started(L"win32:b.exe"), stopped(L"win32:b.exe")));
}

TEST_F(AgentRpcTest, AReconnectingListIsSynchronised) {
    EXPECT_EQ(agent_.call(L"open\t" + pid(1) + L"\twin32:a\tA\t" + pid(2) + L"\twin32:b\tB\t" + pid(3) +
                          L"\twin32:c\tC"),
              0u);
    EXPECT_EQ(agent_.call(L"open\t" + pid(2) + L"\twin32:b\tB\t" + pid(3) + L"\twin32:x\tX\t" + pid(4) +
                          L"\twin32:d\tD"),
              0u);
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
    EXPECT_EQ(agent_.call(L"open\t" + pid(1) + L"\twin32:a\tA"), 0u);
    agent_.call(L"exit");  // only SYSTEM may end it: it ends itself, as a killed one would

    Puppet relaunched;
    ASSERT_TRUE(relaunched.accept()) << "the killed agent was not relaunched";
    EXPECT_NE(relaunched.processId(), agent_.processId());
    EXPECT_EQ(relaunched.call(L"open"), 0u);
    EXPECT_THAT(core_.calls(), ElementsAre(started(L"win32:a"), stopped(L"win32:a")));
}

// Reports are untrusted: an agent, or any process of its user, may name a process the service
// must never end. Such reports are neither decided nor listed.
TEST_F(AgentRpcTest, AReportNamingTheServiceItselfIsIgnored) {
    core_.refuse(L"win32:service.exe");
    const std::wstring service = std::to_wstring(::GetCurrentProcessId());
    EXPECT_EQ(agent_.call(L"open\t" + service + L"\twin32:service.exe\tService"), 0u);
    EXPECT_EQ(agent_.call(L"started\t" + service + L"\twin32:service.exe\tService"), 0u);
    EXPECT_THAT(core_.calls(), IsEmpty());
    EXPECT_THAT(sessions_.ended(), IsEmpty());
}

// A process of another session, and one of the agent's own session that runs as another account
// (as the system's own processes of a session do), are the agent's to report on neither.
TEST_F(AgentRpcTest, AReportOfAProcessOfAnotherSessionOrAccountIsIgnored) {
    core_.refuse(L"win32:other.exe");
    sessions_.placeInSession(application(1).id(), 2);
    sessions_.runAs(application(3).id(), L"S-1-5-18");
    for (const int other : {1, 3}) {
        EXPECT_EQ(agent_.call(L"open\t" + pid(other) + L"\twin32:other.exe\tOther"), 0u);
        EXPECT_EQ(agent_.call(L"started\t" + pid(other) + L"\twin32:other.exe\tOther"), 0u);
    }
    EXPECT_EQ(agent_.call(L"started\t" + pid(2) + L"\twin32:mine.exe\tMine"), 0u);
    EXPECT_THAT(core_.calls(), ElementsAre(started(L"win32:mine.exe")));
    EXPECT_THAT(sessions_.ended(), IsEmpty());
    EXPECT_FALSE(application(1).waitForExit(500));
    EXPECT_FALSE(application(3).waitForExit(0));
}

TEST_F(AgentRpcTest, TerminateEndsTheListedProcessesButNoneThatEndedMeanwhile) {
    EXPECT_EQ(agent_.call(L"open\t" + pid(1) + L"\twin32:a\tA\t" + pid(2) + L"\twin32:a\tA\t" + pid(3) +
                          L"\twin32:b\tB"),
              0u);
    const DWORD gone = application(2).id();
    endProcess(gone);  // still listed: its agent has not reported the end
    eventThread_.run([&] { TerminateApplication(L"win32:a", user_); });
    EXPECT_TRUE(application(1).waitForExit(10000));
    EXPECT_THAT(sessions_.ended(), ElementsAre(application(1).id()));
    EXPECT_FALSE(application(3).waitForExit(0));
}

// A start for a listed process is that same start again: one entry, one decision, and the
// application's stop reaches the core with the process's one stop.
TEST_F(AgentRpcTest, TenThousandStartsOfOneProcessListItOnce) {
    EXPECT_EQ(agent_.call(L"open"), 0u);
    EXPECT_EQ(agent_.call(L"repeat\t10000\tstarted\t" + pid(1) + L"\twin32:a\tA"), 0u);
    EXPECT_EQ(agent_.call(L"stopped\t" + pid(1) + L"\twin32:a\tA"), 0u);
    EXPECT_THAT(core_.calls(), ElementsAre(started(L"win32:a"), stopped(L"win32:a")));
}

// An identifier or name longer than 1,024 units refuses the whole call, and nothing of it is
// decided or listed; 1,024 units are still taken.
TEST_F(AgentRpcTest, TooLongTextsRefuseTheCall) {
    EXPECT_EQ(agent_.call(L"open\t" + pid(1) + L"\twin32:a\t*1025\t" + pid(2) + L"\twin32:b\tB"),
              static_cast<DWORD>(RPC_S_STRING_TOO_LONG));
    EXPECT_EQ(agent_.call(L"open"), 0u);
    EXPECT_EQ(agent_.call(L"started\t" + pid(1) + L"\twin32:a\t*1048576"), static_cast<DWORD>(RPC_S_STRING_TOO_LONG))
        << "a name of 1M units";
    EXPECT_EQ(agent_.call(L"started\t" + pid(1) + L"\t*1025\tA"), static_cast<DWORD>(RPC_S_STRING_TOO_LONG));
    EXPECT_THAT(core_.calls(), IsEmpty());
    EXPECT_EQ(agent_.call(L"started\t" + pid(1) + L"\t*1024\t*1024"), 0u);
    EXPECT_THAT(core_.calls(), ElementsAre(started(std::wstring(1024, L'x'))));
}

// Texts the agent never sends: control, format and bidirectional characters refuse the call.
TEST_F(AgentRpcTest, UnprintableTextsRefuseTheCall) {
    EXPECT_EQ(agent_.call(L"open\t" + pid(1) + L"\twin32:a\r\nstart win32:b\tA"), static_cast<DWORD>(RPC_X_BAD_STUB_DATA));
    EXPECT_EQ(agent_.call(L"open"), 0u);
    for (const wchar_t* name : {L"A\u202eB", L"A\u0001", L"\u200b"})
        EXPECT_EQ(agent_.call(L"started\t" + pid(1) + L"\twin32:a\t" + name), static_cast<DWORD>(RPC_X_BAD_STUB_DATA))
            << wideToUtf8(name);
    EXPECT_THAT(core_.calls(), IsEmpty());
    EXPECT_EQ(agent_.call(L"started\t" + pid(1) + L"\twin32:\u00e4rger.exe\t\u00c4rger \U0001F600"), 0u);
    EXPECT_THAT(core_.calls(), ElementsAre(started(L"win32:\u00e4rger.exe")));
}

// OpenApplicationList as bytes: a count that is not the size of the array the request carries,
// and arrays larger than a list, are refused before anything of the request is unmarshalled.
// (One server for all cases: the test program runs one server lifetime per test.)
TEST_F(AgentRpcTest, OpenRequestsWhoseCountAndArrayDisagreeOrAreTooLargeAreRefused) {
    struct Case {
        const char* name;
        std::wstring request;  // after "raw-open"
        DWORD status;
    };
    const Case cases[] = {
        {"empty", L"0\t0", RPC_S_OK},
        {"count and array agree", L"3\t3", RPC_S_OK},
        {"count beyond the array", L"5\t1", RPC_X_BAD_STUB_DATA},
        {"count short of the array", L"1\t2", RPC_X_BAD_STUB_DATA},
        {"count 0xFFFFFFFF", L"4294967295\t0", RPC_X_BAD_STUB_DATA},
        {"count and array 0xFFFFFFFF", L"4294967295\t4294967295", RPC_X_INVALID_BOUND},
        {"more than a list holds", L"4097\t4097", RPC_X_INVALID_BOUND},
        {"10 MB of array", L"873813\t873813", RPC_X_INVALID_BOUND},
    };
    for (const Case& c : cases) EXPECT_EQ(agent_.call(L"raw-open\t" + c.request), c.status) << c.name;
    EXPECT_THAT(core_.calls(), IsEmpty());
    EXPECT_EQ(agent_.call(L"raw-open\t1\t1\t" + pid(1) + L"\twin32:a\tA"), 0u) << "the bytes say what the stub says";
    EXPECT_THAT(core_.calls(), ElementsAre(started(L"win32:a")));
}

// An identifier with an embedded NUL is read as far as the NUL, as every string of the interface
// is: the call is the report of that shorter identifier, and nothing past the NUL is kept.
TEST_F(AgentRpcTest, ATextWithAnEmbeddedNulEndsAtTheNul) {
    EXPECT_EQ(agent_.call(L"raw-open\t1\t1\t" + pid(1) + L"\twin32:a\\0.exe\tA\\0B"), 0u);
    EXPECT_THAT(core_.calls(), ElementsAre(started(L"win32:a")));
}

}  // namespace
}  // namespace brisko
