// The agent manager's pure decisions: restart rule, caller gate and application lists.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <rpc.h>
#include <rpcndr.h>

#include <chrono>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "agent_manager/reported_process.h"
#include "agent_manager/restart_rule.h"
#include "agent_rpc/agent_rpc_server.h"
#include "agent_rpc/caller_process.h"
#include "agent_rpc/request_limits.h"
#include "applications/application_registry.h"
#include "applications/user_applications.h"
#include "bounded_thread.h"
#include "event_thread.h"

namespace brisko {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

// ---- restart rule -------------------------------------------------------------------------

// The product's timings: quick within 5 s, back-off from 30 s to 5 min, settled after 60 s.
const RestartTimings kTimings;

struct RestartCase {
    const char* name;
    RestartHistory before;
    int64_t now;
    RestartDecision decision;
    RestartHistory after;
};

class RestartRuleTest : public ::testing::TestWithParam<RestartCase> {};

TEST_P(RestartRuleTest, Decides) {
    const RestartCase& c = GetParam();
    RestartHistory history = c.before;
    const RestartDecision decision = DecideRestart(history, c.now, kTimings);
    EXPECT_EQ(decision.delay, c.decision.delay);
    EXPECT_EQ(decision.backOffStarted, c.decision.backOffStarted);
    EXPECT_EQ(history.lastRestart, c.after.lastRestart);
    EXPECT_EQ(history.quickRestarts, c.after.quickRestarts);
    EXPECT_EQ(history.backOff, c.after.backOff);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RestartRuleTest,
    ::testing::Values(
        RestartCase{"first_relaunch", {0, 0, 0}, 100, {0, false}, {100, 1, 0}},
        RestartCase{"first_relaunch_even_when_counted", {0, 9, 0}, 100, {0, false}, {100, 1, 0}},
        RestartCase{"quick_second", {100, 1, 0}, 200, {0, false}, {200, 2, 0}},
        RestartCase{"quick_ninth", {100, 8, 0}, 200, {0, false}, {200, 9, 0}},
        RestartCase{"quick_tenth_starts_the_back_off", {100, 9, 0}, 200, {30'000, true}, {30'200, 9, 30'000}},
        RestartCase{"exactly_five_seconds_is_quick", {100, 9, 0}, 5'100, {30'000, true}, {35'100, 9, 30'000}},
        RestartCase{"slow_resets_count", {100, 9, 0}, 5'101, {0, false}, {5'101, 1, 0}},
        RestartCase{"slow_after_few", {100, 3, 0}, 100'000, {0, false}, {100'000, 1, 0}},
        RestartCase{"back_off_doubles", {30'200, 9, 30'000}, 31'000, {60'000, false}, {91'000, 9, 60'000}},
        RestartCase{"back_off_doubles_up_to_five_minutes", {0, 9, 240'000}, 1'000, {300'000, false},
                    {301'000, 9, 300'000}},
        RestartCase{"back_off_stays_at_five_minutes", {0, 9, 300'000}, 1'000, {300'000, false}, {301'000, 9, 300'000}},
        RestartCase{"just_short_of_settled", {30'200, 9, 30'000}, 90'199, {60'000, false}, {150'199, 9, 60'000}},
        RestartCase{"an_agent_that_ran_a_minute_ends_the_back_off", {30'200, 9, 30'000}, 90'200, {0, false},
                    {90'200, 1, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

// An agent that dies at once after every relaunch: 9 relaunches at once, then ever longer waits,
// never none; one that then runs a minute is relaunched at once again.
TEST(RestartRule, AnAgentThatKeepsDyingIsRelaunchedForEverLessAndLessOften) {
    RestartHistory history;
    int64_t now = 1'000;
    std::vector<int64_t> delays;
    bool startedOnce = false;
    for (int end = 0; end < 16; ++end) {
        const RestartDecision decision = DecideRestart(history, now, kTimings);
        EXPECT_EQ(decision.backOffStarted, end == 9) << "end " << end;
        startedOnce |= decision.backOffStarted;
        delays.push_back(decision.delay);
        now += decision.delay + 10;  // relaunched after the delay, dead 10 ms later
    }
    EXPECT_TRUE(startedOnce);
    EXPECT_THAT(delays, ElementsAre(0, 0, 0, 0, 0, 0, 0, 0, 0, 30'000, 60'000, 120'000, 240'000, 300'000, 300'000,
                                    300'000));
    now += kTimings.settled;  // this one runs a minute
    EXPECT_EQ(DecideRestart(history, now, kTimings).delay, 0);
    EXPECT_EQ(history.backOff, 0);
}

// ---- caller gate --------------------------------------------------------------------------

struct GateCase {
    const char* name;
    long processId;
    bool supervised;
    long expected;
};

class CallerGateTest : public ::testing::TestWithParam<GateCase> {};

TEST_P(CallerGateTest, Decides) {
    const GateCase& c = GetParam();
    std::vector<DWORD> asked;
    const long answer = AdmitCaller(c.processId, [&](DWORD id) {
        asked.push_back(id);
        return c.supervised;
    });
    EXPECT_EQ(answer, c.expected);
    if (c.processId <= 0) {
        EXPECT_THAT(asked, IsEmpty()) << "an unknown caller is refused without a lookup";
    }
}

INSTANTIATE_TEST_SUITE_P(Table, CallerGateTest,
                         ::testing::Values(GateCase{"unknown_pid", -1, true, RPC_S_ACCESS_DENIED},
                                           GateCase{"pid_zero", 0, true, RPC_S_ACCESS_DENIED},
                                           GateCase{"supervised_agent", 1234, true, RPC_S_OK},
                                           GateCase{"other_process", 1234, false, RPC_S_ACCESS_DENIED}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CallerGate, OutsideAnRpcCallTheCallerIsUnknown) { EXPECT_EQ(QueryCallerProcessId(), -1); }

// ---- reported processes -------------------------------------------------------------------

constexpr DWORD kService = 4000;

constexpr wchar_t kChild[] = L"S-1-5-21-1-2-3-1001";

struct ReportCase {
    const char* name;
    long processId;
    ProcessPlace caller;
    ProcessPlace process;
    bool mayAct;
};

class ReportedProcessTest : public ::testing::TestWithParam<ReportCase> {};

TEST_P(ReportedProcessTest, Decides) {
    const ReportCase& c = GetParam();
    EXPECT_EQ(MayActOnReportedProcess(c.processId, kService, c.caller, c.process), c.mayAct);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReportedProcessTest,
    ::testing::Values(ReportCase{"same_session_and_account", 1234, {1, kChild}, {1, kChild}, true},
                      ReportCase{"the_service_itself", static_cast<long>(kService), {0, kChild}, {0, kChild}, false},
                      ReportCase{"another_session", 1234, {1, kChild}, {2, kChild}, false},
                      ReportCase{"a_session_0_process", 1234, {1, kChild}, {0, kChild}, false},
                      ReportCase{"session_of_the_process_unknown", 1234, {1, kChild}, {std::nullopt, kChild}, false},
                      ReportCase{"session_of_the_caller_unknown", 1234, {std::nullopt, kChild}, {1, kChild}, false},
                      ReportCase{"a_system_process_of_the_session", 1234, {1, kChild}, {1, L"S-1-5-18"}, false},
                      ReportCase{"another_user_of_the_session", 1234, {1, kChild}, {1, L"S-1-5-21-1-2-3-1002"}, false},
                      ReportCase{"account_of_the_process_unknown", 1234, {1, kChild}, {1, std::nullopt}, false},
                      ReportCase{"account_of_the_caller_unknown", 1234, {1, std::nullopt}, {1, kChild}, false},
                      ReportCase{"pid_zero", 0, {1, kChild}, {1, kChild}, false},
                      ReportCase{"negative_pid", -8, {1, kChild}, {1, kChild}, false}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- interface registration after the authentication step ---------------------------------
// Wine neither calls the security callback nor enforces secure-only, so a running server looks
// the same whatever the flags: the flags are checked here, where they are decided.

struct RegistrationCase {
    const char* name;
    long authenticationStatus;
    bool proceed;
    unsigned int flags;
};

class RegistrationTest : public ::testing::TestWithParam<RegistrationCase> {};

TEST_P(RegistrationTest, Decides) {
    const RegistrationCase& c = GetParam();
    const InterfaceRegistration registration = AgentRpcRegistrationAfter(c.authenticationStatus);
    EXPECT_EQ(registration.proceed, c.proceed);
    if (c.proceed) {
        EXPECT_EQ(registration.flags, c.flags);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, RegistrationTest,
    ::testing::Values(
        RegistrationCase{"authenticated_callers_only", RPC_S_OK, true, 0x28},
        // Nobody could authenticate: secure-only would refuse every agent.
        RegistrationCase{"no_windows_authentication", RPC_S_UNKNOWN_AUTHN_SERVICE, true, RPC_IF_ALLOW_LOCAL_ONLY},
        RegistrationCase{"other_failure", RPC_S_OUT_OF_MEMORY, false, 0},
        RegistrationCase{"access_denied", RPC_S_ACCESS_DENIED, false, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- application lists --------------------------------------------------------------------

// Records every decision as a line: "start app", "stop app", "end pid".
class RecordingDecisions : public ApplicationDecisions {
public:
    std::set<std::wstring> refused;
    std::vector<std::wstring> log;

    bool shouldStart(const ApplicationProcess& process, const std::wstring& userName) override {
        log.push_back(L"start " + process.applicationId + L" " + userName);
        return !refused.contains(process.applicationId);
    }
    void didStop(const ApplicationProcess& process, const std::wstring& userName) override {
        log.push_back(L"stop " + process.applicationId + L" " + userName);
    }
    void terminate(const ApplicationProcess& process) override {
        log.push_back(L"end " + std::to_wstring(process.processId));
    }
};

ApplicationProcess P(int32_t id, const wchar_t* application) { return {id, application, L"name"}; }

struct ListCase {
    const char* name;
    std::vector<ApplicationProcess> before;  // added one by one, all allowed
    std::function<void(UserApplications&, RecordingDecisions&)> act;
    std::vector<std::wstring> refused;
    std::vector<std::wstring> decisions;
    std::vector<int32_t> running;
};

class UserApplicationsTest : public ::testing::TestWithParam<ListCase> {};

TEST_P(UserApplicationsTest, Decides) {
    const ListCase& c = GetParam();
    UserApplications list(L"alice");
    RecordingDecisions setup;
    for (const ApplicationProcess& p : c.before) list.add(p, setup);
    RecordingDecisions decisions;
    decisions.refused.insert(c.refused.begin(), c.refused.end());
    c.act(list, decisions);
    EXPECT_THAT(decisions.log, ElementsAreArray(c.decisions));
    std::vector<int32_t> running;
    for (const ApplicationProcess& p : list.running()) running.push_back(p.processId);
    EXPECT_THAT(running, ElementsAreArray(c.running));
    for (const ApplicationProcess& p : list.running()) {
        int32_t same = 0;
        for (const ApplicationProcess& q : list.running()) same += q.applicationId == p.applicationId;
        EXPECT_EQ(list.count(p.applicationId), same) << "counts follow the list";
    }
}

const auto Add = [](ApplicationProcess p) { return [p](UserApplications& l, RecordingDecisions& d) { l.add(p, d); }; };
const auto Remove = [](int32_t id) { return [id](UserApplications& l, RecordingDecisions& d) { l.remove(id, d); }; };
const auto Sync = [](std::vector<ApplicationProcess> report) {
    return [report](UserApplications& l, RecordingDecisions& d) { l.synchronise(report, d); };
};
const auto Then = [](auto first, auto second) {
    return [first, second](UserApplications& l, RecordingDecisions& d) { first(l, d); second(l, d); };
};

INSTANTIATE_TEST_SUITE_P(
    Table, UserApplicationsTest,
    ::testing::Values(
        ListCase{"first_process_is_decided", {}, Add(P(1, L"win32:a")), {}, {L"start win32:a alice"}, {1}},
        ListCase{"second_process_is_not_decided", {P(1, L"win32:a")}, Add(P(2, L"win32:a")), {}, {}, {1, 2}},
        ListCase{"refused_process_is_ended_and_not_listed", {}, Add(P(1, L"win32:a")), {L"win32:a"},
                 {L"start win32:a alice", L"end 1"}, {}},
        ListCase{"refused_application_is_asked_again",
                 {},
                 Then(Add(P(1, L"win32:a")), Add(P(2, L"win32:a"))),
                 {L"win32:a"},
                 {L"start win32:a alice", L"end 1", L"start win32:a alice", L"end 2"},
                 {}},
        ListCase{"stop_reported_after_last_of_two_first_ends",
                 {P(1, L"win32:a"), P(2, L"win32:a")},
                 Then(Remove(1), Remove(2)),
                 {},
                 {L"stop win32:a alice"},
                 {}},
        ListCase{"stop_reported_after_last_of_two_second_ends",
                 {P(1, L"win32:a"), P(2, L"win32:a")},
                 Then(Remove(2), Remove(1)),
                 {},
                 {L"stop win32:a alice"},
                 {}},
        ListCase{"unlisted_stop_changes_nothing", {P(1, L"win32:a")}, Remove(7), {}, {}, {1}},
        ListCase{"ids_compare_exactly",
                 {P(1, L"win32:a")},
                 Add(P(2, L"win32:A")),
                 {},
                 {L"start win32:A alice"},
                 {1, 2}},
        ListCase{"sync_into_empty_adds_in_order",
                 {},
                 Sync({P(3, L"win32:c"), P(1, L"win32:a"), P(2, L"win32:a")}),
                 {},
                 {L"start win32:c alice", L"start win32:a alice"},
                 {3, 1, 2}},
        ListCase{"sync_with_nothing_stops_everything",
                 {P(1, L"win32:a"), P(2, L"win32:b"), P(3, L"win32:b")},
                 Sync({}),
                 {},
                 {L"stop win32:a alice", L"stop win32:b alice"},
                 {}},
        ListCase{"sync_reports_what_ended_while_away",
                 {P(1, L"win32:a"), P(2, L"win32:b")},
                 Sync({P(2, L"win32:b"), P(4, L"win32:d")}),
                 {},
                 {L"stop win32:a alice", L"start win32:d alice"},
                 {2, 4}},
        ListCase{"sync_same_pid_other_application",
                 {P(1, L"win32:a")},
                 Sync({P(1, L"win32:b")}),
                 {},
                 {L"stop win32:a alice", L"start win32:b alice"},
                 {1}},
        ListCase{"sync_same_pid_other_application_not_last",
                 {P(1, L"win32:a"), P(2, L"win32:a")},
                 Sync({P(1, L"win32:b"), P(2, L"win32:a")}),
                 {},
                 {L"start win32:b alice"},
                 {2, 1}},
        ListCase{"start_of_a_listed_process_replaces_it", {P(1, L"win32:a")}, Add(P(1, L"win32:a")), {}, {}, {1}},
        ListCase{"start_of_a_listed_process_as_another_application",
                 {P(1, L"win32:a"), P(2, L"win32:b")},
                 Add(P(1, L"win32:c")),
                 {},
                 {L"stop win32:a alice", L"start win32:c alice"},
                 {2, 1}},
        ListCase{"report_naming_one_process_twice_lists_it_once",
                 {},
                 Sync({P(1, L"win32:a"), P(1, L"win32:a")}),
                 {},
                 {L"start win32:a alice"},
                 {1}},
        ListCase{"sync_refused_new_entry_is_ended",
                 {P(1, L"win32:a")},
                 Sync({P(1, L"win32:a"), P(5, L"win32:x")}),
                 {L"win32:x"},
                 {L"start win32:x alice", L"end 5"},
                 {1}}),
    [](const auto& info) { return std::string(info.param.name); });

// A list holds kMaxUserProcesses processes: a further one is neither decided nor listed, while a
// listed one may still be reported again.
TEST(UserApplications, AFullListTakesNoFurtherProcess) {
    UserApplications list(L"alice");
    RecordingDecisions decisions;
    for (int32_t id = 1; id <= static_cast<int32_t>(kMaxUserProcesses); ++id)
        ASSERT_TRUE(list.add(P(id, L"win32:a"), decisions));
    EXPECT_FALSE(list.add(P(0x10000, L"win32:b"), decisions));
    EXPECT_TRUE(list.add(P(7, L"win32:a"), decisions));
    EXPECT_THAT(decisions.log, ElementsAre(L"start win32:a alice"));
    EXPECT_EQ(list.running().size(), kMaxUserProcesses);
    EXPECT_EQ(list.count(L"win32:a"), static_cast<int32_t>(kMaxUserProcesses));
}

// ---- what one call may put in -------------------------------------------------------------

TEST(RequestLimits, TextsUpTo1024UnitsAreTaken) {
    EXPECT_TRUE(IsReportTextWithinLimit(nullptr));
    EXPECT_TRUE(IsReportTextWithinLimit(L""));
    EXPECT_TRUE(IsReportTextWithinLimit(std::wstring(1024, L'x').c_str()));
    EXPECT_FALSE(IsReportTextWithinLimit(std::wstring(1025, L'x').c_str()));
    EXPECT_FALSE(IsReportTextWithinLimit(std::wstring(1 << 20, L'x').c_str()));
}

// The first bytes of an OpenApplicationList request: the binding handle's long, count, the
// array's size; little-endian unless the data representation says otherwise.
std::vector<unsigned char> Header(uint32_t count, uint32_t size, bool bigEndian = false) {
    std::vector<unsigned char> bytes(4, 0xAA);
    for (const uint32_t value : {count, size})
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<unsigned char>(value >> (8 * (bigEndian ? 3 - i : i))));
    return bytes;
}

struct OpenRequestCase {
    const char* name;
    std::vector<unsigned char> bytes;
    unsigned long dataRepresentation;
    long status;
};

class OpenRequestTest : public ::testing::TestWithParam<OpenRequestCase> {};

TEST_P(OpenRequestTest, Decides) {
    const OpenRequestCase& c = GetParam();
    EXPECT_EQ(CheckOpenRequest(c.bytes.data(), static_cast<unsigned long>(c.bytes.size()), c.dataRepresentation),
              c.status);
}

constexpr unsigned long kLittle = NDR_LOCAL_DATA_REPRESENTATION;
constexpr unsigned long kBig = NDR_ASCII_CHAR | NDR_BIG_ENDIAN | NDR_IEEE_FLOAT;

INSTANTIATE_TEST_SUITE_P(
    Table, OpenRequestTest,
    ::testing::Values(OpenRequestCase{"empty_report", Header(0, 0), kLittle, RPC_S_OK},
                      OpenRequestCase{"count_is_the_size", Header(3, 3), kLittle, RPC_S_OK},
                      OpenRequestCase{"as_many_as_a_list_holds", Header(4096, 4096), kLittle, RPC_S_OK},
                      OpenRequestCase{"one_more", Header(4097, 4097), kLittle, RPC_X_INVALID_BOUND},
                      OpenRequestCase{"count_beyond_the_array", Header(5, 1), kLittle, RPC_X_BAD_STUB_DATA},
                      OpenRequestCase{"count_short_of_the_array", Header(1, 5), kLittle, RPC_X_BAD_STUB_DATA},
                      OpenRequestCase{"negative_count", Header(0xFFFFFFFF, 0xFFFFFFFF), kLittle, RPC_X_INVALID_BOUND},
                      OpenRequestCase{"big_endian", Header(1, 1, true), kBig, RPC_S_OK},
                      OpenRequestCase{"big_endian_bytes_read_as_little", Header(1, 1, true), kLittle,
                                      RPC_X_INVALID_BOUND},
                      OpenRequestCase{"too_short", {0, 0, 0, 0, 0, 0, 0, 0}, kLittle, RPC_X_BAD_STUB_DATA}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- registry and the lock rule -----------------------------------------------------------

TEST(ApplicationRegistry, TerminateEndsListedProcessesOfThatUserOnly) {
    std::vector<int32_t> ended;
    ApplicationRegistry registry([](auto&&...) { return true; },
                                 [&](const ApplicationProcess& p) { ended.push_back(p.processId); });
    registry.open(L"alice", {P(1, L"win32:a"), P(2, L"win32:b"), P(3, L"win32:a")});
    registry.open(L"Alice", {P(4, L"win32:a")});
    registry.terminateApplication(L"win32:a", L"alice");
    EXPECT_THAT(ended, ElementsAre(1, 3));
    ended.clear();
    registry.terminateApplication(L"win32:a", L"bob");
    registry.terminateApplication(L"win32:zzz", L"alice");
    EXPECT_THAT(ended, IsEmpty());
}

TEST(ApplicationRegistry, ListsBelongToTheUserNotTheAgent) {
    std::vector<std::wstring> stops;
    ApplicationRegistry registry(
        [&](const std::wstring& id, const std::wstring&, const std::wstring&, bool started) {
            if (!started) stops.push_back(id);
            return true;
        },
        [](const ApplicationProcess&) {});
    UserApplications* first = registry.open(L"alice", {P(1, L"win32:a")});
    UserApplications* second = registry.open(L"alice", {P(2, L"win32:b")});
    EXPECT_EQ(first, second);
    EXPECT_THAT(stops, ElementsAre(L"win32:a"));
    registry.started(reinterpret_cast<void*>(0x1234), P(9, L"win32:z"));  // not a list of ours
    EXPECT_THAT(first->running(), ElementsAre(P(2, L"win32:b")));
}

// An id may pass to another process of the same application while its agent is away; ending
// the application must then reach the process reported now.
TEST(ApplicationRegistry, TerminateEndsTheProcessAsLastReported) {
    std::vector<uint64_t> ended;
    ApplicationRegistry registry([](auto&&...) { return true; },
                                 [&](const ApplicationProcess& p) { ended.push_back(p.createdAt); });
    registry.open(L"alice", {ApplicationProcess{1, L"win32:a", L"A", 100}});
    registry.open(L"alice", {ApplicationProcess{1, L"win32:a", L"A", 200}});
    registry.terminateApplication(L"win32:a", L"alice");
    EXPECT_THAT(ended, ElementsAre(200u));
}

// The core may call terminate (on the event thread) from inside shouldStartApplication while
// an RPC thread waits for its answer; neither may wait for the other.
TEST(ApplicationRegistry, TerminateFromInsideADecisionDoesNotDeadlock) {
    testing::TestEventThread eventThread;
    std::vector<int32_t> ended;
    ApplicationRegistry* registryPointer = nullptr;
    ApplicationRegistry registry(
        [&](const std::wstring&, const std::wstring&, const std::wstring&, bool started) {
            bool answer = true;
            eventThread.run([&] {
                if (started) registryPointer->terminateApplication(L"win32:a", L"alice");
                answer = false;
            });
            return answer;
        },
        [&](const ApplicationProcess& p) { ended.push_back(p.processId); });
    registryPointer = &registry;
    UserApplications* list = registry.open(L"alice", {});
    testing::BoundedThread rpcThread([&] { registry.started(list, P(1, L"win32:a")); });
    ASSERT_TRUE(rpcThread.joinWithin(std::chrono::seconds(5))) << "deadlock between the decision and terminate";
    EXPECT_THAT(ended, ElementsAre(1)) << "only the refusal ends the undecided process";
}

}  // namespace
}  // namespace brisko
