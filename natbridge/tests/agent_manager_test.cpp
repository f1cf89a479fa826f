// The agent manager under Wine with real processes: small programs stand in for the agent.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <aclapi.h>
#include <fcntl.h>
#include <io.h>
#include <rpc.h>
#include <sddl.h>
#include <sys/stat.h>

#include <atomic>
#include <fstream>
#include <optional>
#include <sstream>
#include <thread>

#include "agent_manager/agent_launcher.h"
#include "agent_manager/reported_process.h"
#include "agent_manager/restart_rule.h"
#include "agent_rpc/agent_rpc_server.h"
#include "served_agents.h"
#include "text.h"
#include "token_user.h"
#include "unique_memory.h"

namespace brisko {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using namespace brisko::testing;

std::wstring OwnAccount() {
    UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return L"";
    return TokenUserSid(token.get()).value_or(L"");
}

// Where the test process itself runs, as the service finds it for an agent.
ProcessPlace OwnPlace() { return {1, OwnAccount()}; }

// This process's standard output goes to a file while it lives (the console lines of the bridge).
class CapturedOutput {
public:
    CapturedOutput() : path_(siblingPath(L"captured_output.txt")) {
        std::fflush(stdout);
        saved_ = ::_dup(1);
        const int file = ::_wopen(path_.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
        ::_dup2(file, 1);
        ::_close(file);
    }
    ~CapturedOutput() {
        std::fflush(stdout);
        ::_dup2(saved_, 1);
        ::_close(saved_);
        ::DeleteFileW(path_.c_str());
    }
    std::string text() const {
        std::fflush(stdout);
        std::ifstream file(wideToUtf8(path_), std::ios::binary);
        std::stringstream content;
        content << file.rdbuf();
        return content.str();
    }

private:
    std::wstring path_;
    int saved_ = -1;
};

size_t Occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

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

TEST_F(AgentManagerTest, LaunchesAsTheSessionUserAndRelaunchesAnAgentThatEnded) {
    ASSERT_NE(createManager(L"idle_agent.exe"), nullptr);
    EXPECT_EQ(createManager(L"idle_agent.exe"), nullptr) << "one manager per process";

    const DWORD first = AwaitAgent(L"idle_agent.exe");
    ASSERT_NE(first, 0u) << "no agent was launched";
    SupervisedAgent agent;
    ASSERT_TRUE(pollUntil([&] { return FindSupervisedAgent(first, &agent); }));
    EXPECT_EQ(agent.userName, sessionUser());
    EXPECT_EQ(agent.place.session, std::optional<DWORD>(1)) << "the session it was launched in";
    EXPECT_EQ(agent.place.account, std::optional(OwnAccount())) << "the account of the session's token";
    EXPECT_FALSE(FindSupervisedAgent(::GetCurrentProcessId(), nullptr));
    EXPECT_FALSE(FindSupervisedAgent(0, nullptr));

    ASSERT_TRUE(endIdleAgent(first));
    const DWORD second = AwaitAgent(L"idle_agent.exe", first);
    ASSERT_NE(second, 0u) << "the killed agent was not relaunched";
    EXPECT_TRUE(pollUntil([&] { return FindSupervisedAgent(second, nullptr); }));
    EXPECT_FALSE(FindSupervisedAgent(first, nullptr));

    EXPECT_EQ(stopManager(), 0u);
    EXPECT_FALSE(processRunning(second)) << "stop ends every agent";
    EXPECT_FALSE(FindSupervisedAgent(second, nullptr));
}

// An agent that keeps ending is relaunched for ever, less and less often, with one console line
// when the back-off starts. (The waits are shortened; the quick window is long enough for a busy
// machine to launch ten agents within it.)
TEST_F(AgentManagerTest, AnAgentThatKeepsEndingIsRelaunchedWithABackOff) {
    const std::wstring log = siblingPath(L"exiting_agent.log");
    ::DeleteFileW(log.c_str());
    const auto launches = [&] {
        std::ifstream file(wideToUtf8(log));
        int lines = 0;
        for (std::string line; std::getline(file, line);) ++lines;
        return lines;
    };
    const RestartTimings normal = AgentRestartTimings();
    AgentRestartTimings() = {60'000, 300, 600, 60'000};
    bool created = false, relaunched = false;
    DWORD stopped = 1;
    std::string text;
    {
        const CapturedOutput output;
        created = createManager(L"exiting_agent.exe") != nullptr;
        relaunched = created && pollUntil([&] { return launches() >= 13; }, 60000);
        stopped = stopManager();
        text = output.text();
    }
    AgentRestartTimings() = normal;
    ASSERT_TRUE(created);
    EXPECT_TRUE(relaunched) << "relaunches stopped after " << launches() << " launches";
    EXPECT_EQ(stopped, 0u);
    EXPECT_EQ(Occurrences(text, "keeps ending"), 1u) << text;
    EXPECT_THAT(text, HasSubstr("AgentManager: the agent of session 1 keeps ending")) << text;
}

TEST_F(AgentManagerTest, LogonReplacesTheSessionsAgentAndLogoffForgetsIt) {
    ASSERT_NE(createManager(L"idle_agent.exe"), nullptr);
    const DWORD first = AwaitAgent(L"idle_agent.exe");
    ASSERT_NE(first, 0u);

    PostSessionMessage(AgentManagerMessage::Logon, 1);
    const DWORD second = AwaitAgent(L"idle_agent.exe", first);
    ASSERT_NE(second, 0u) << "a logon ends the session's agent and launches another";
    EXPECT_TRUE(pollUntil([&] { return FindSupervisedAgent(second, nullptr); }));
    EXPECT_FALSE(FindSupervisedAgent(first, nullptr));

    PostSessionMessage(AgentManagerMessage::Logoff, 1);
    EXPECT_TRUE(pollUntil([&] { return !FindSupervisedAgent(second, nullptr); }));
    EXPECT_TRUE(processRunning(second)) << "a logoff leaves the agent to end with its session";

    PostSessionMessage(AgentManagerMessage::Logon, 1);  // the session has no record now
    EXPECT_TRUE(pollUntil([&] { return childProcesses(L"idle_agent.exe").size() == 2; }))
        << "a new logon launches an agent beside the forgotten one";
    EXPECT_EQ(stopManager(), 0u);
    EXPECT_THAT(childProcesses(L"idle_agent.exe"), ElementsAre(second)) << "stop ends only supervised agents";
    EXPECT_TRUE(endIdleAgent(second));
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

// ---- protected agents --------------------------------------------------------------------

struct Right {
    const char* name;
    ACCESS_MASK mask;
};

// What nobody but SYSTEM may do to an agent's process, and to its threads.
const Right kProcessRights[] = {
    {"terminate", PROCESS_TERMINATE},        {"suspend/resume", PROCESS_SUSPEND_RESUME},
    {"VM read", PROCESS_VM_READ},            {"VM write", PROCESS_VM_WRITE},
    {"VM operation", PROCESS_VM_OPERATION},  {"create thread", PROCESS_CREATE_THREAD},
    {"duplicate handle", PROCESS_DUP_HANDLE}, {"set information", PROCESS_SET_INFORMATION},
    {"set quota", PROCESS_SET_QUOTA},         {"create process", PROCESS_CREATE_PROCESS},
    {"delete", DELETE},                       {"write DAC", WRITE_DAC},
    {"write owner", WRITE_OWNER},
};
const Right kThreadRights[] = {
    {"terminate", THREAD_TERMINATE},
    {"suspend/resume", THREAD_SUSPEND_RESUME},
    {"get context", THREAD_GET_CONTEXT},
    {"set context", THREAD_SET_CONTEXT},
    {"set information", THREAD_SET_INFORMATION},
    {"set limited information", THREAD_SET_LIMITED_INFORMATION},
    {"set thread token", THREAD_SET_THREAD_TOKEN},
    {"impersonate", THREAD_IMPERSONATE},
    {"direct impersonation", THREAD_DIRECT_IMPERSONATION},
    {"write DAC", WRITE_DAC},
    {"write owner", WRITE_OWNER},
};
constexpr ACCESS_MASK kAllRights = 0x001FFFFF;  // PROCESS_ALL_ACCESS, THREAD_ALL_ACCESS

UniqueLocalMemory<PSID> Sid(const wchar_t* text) {
    UniqueLocalMemory<PSID> sid;
    ::ConvertStringSidToSidW(text, sid.put());
    return sid;
}

// The rights the DACL's entries for exactly this SID allow; a generic right counts as all of them.
ACCESS_MASK AllowedTo(PACL dacl, PSID sid) {
    ACL_SIZE_INFORMATION size{};
    if (!dacl || !::GetAclInformation(dacl, &size, sizeof(size), AclSizeInformation)) return 0;
    ACCESS_MASK allowed = 0;
    for (DWORD i = 0; i < size.AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        if (!::GetAce(dacl, i, reinterpret_cast<void**>(&ace)) || ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE ||
            !::EqualSid(&ace->SidStart, sid))
            continue;
        allowed |= ace->Mask;
        if (ace->Mask & (GENERIC_ALL | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_READ)) allowed |= kAllRights;
    }
    return allowed;
}

// The descriptor of a process or thread, read back through a handle that may read it.
void ExpectProtected(HANDLE object, const wchar_t* kind, const Right* rights, size_t count, ACCESS_MASK userRights,
                     const std::wstring& user) {
    UniqueLocalMemory<PSECURITY_DESCRIPTOR> descriptor;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    ASSERT_EQ(::GetSecurityInfo(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                &owner, nullptr, &dacl, nullptr, descriptor.put()),
              static_cast<DWORD>(ERROR_SUCCESS));
    const std::string name = wideToUtf8(kind);
    EXPECT_TRUE(::EqualSid(owner, Sid(L"S-1-5-18").get())) << name << ": owned by SYSTEM";
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(::GetSecurityDescriptorControl(descriptor.get(), &control, &revision));
    EXPECT_TRUE(control & SE_DACL_PROTECTED) << name << ": no inherited entries";
    EXPECT_EQ(AllowedTo(dacl, Sid(L"S-1-5-18").get()), kAllRights) << name << ": SYSTEM may do everything";
    EXPECT_EQ(AllowedTo(dacl, Sid(user.c_str()).get()), userRights) << name << ": the user may only wait and ask";

    const std::pair<const char*, std::wstring> others[] = {{"the user", user},
                                                           {"Everyone", L"S-1-1-0"},
                                                           {"Users", L"S-1-5-32-545"},
                                                           {"Authenticated Users", L"S-1-5-11"},
                                                           {"INTERACTIVE", L"S-1-5-4"}};
    for (const auto& [who, sid] : others)
        for (size_t i = 0; i < count; ++i)
            EXPECT_EQ(AllowedTo(dacl, Sid(sid.c_str()).get()) & rights[i].mask, 0u)
                << name << ": " << who << " may " << rights[i].name;
}

// The answer of another process of the same user that opens the agent's process or first thread
// with one right: 0 when it got a handle, else the error.
DWORD ProbeOpen(const wchar_t* object, DWORD processId, ACCESS_MASK rights) {
    std::wostringstream arguments;
    arguments << object << L" " << processId << L" " << std::hex << rights;
    const ChildProcess probe = ChildProcess::sibling(L"tamper_probe.exe", arguments.str());
    return probe.waitForExit().value_or(WAIT_TIMEOUT);
}

// The agent's process and first thread carry descriptors that leave its own user (and everyone
// else) nothing but waiting and asking. Wine stores and enforces them: another process of the
// user is refused every right it tries, and this process too; the launch's own handle still
// ends it.
TEST(ProtectedAgent, OnlySystemMayEndSuspendWriteOrResecureAnAgent) {
    LaunchedProcess agent = LaunchAgentInSession(1, siblingPath(L"idle_agent.exe"));
    ASSERT_TRUE(agent.process && agent.thread) << "the launch failed: " << ::GetLastError();
    const std::wstring user = OwnAccount();
    EXPECT_EQ(agent.account, std::optional(user));

    ExpectProtected(agent.process.get(), L"process", kProcessRights, std::size(kProcessRights),
                    SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, user);
    ExpectProtected(agent.thread.get(), L"thread", kThreadRights, std::size(kThreadRights),
                    SYNCHRONIZE | THREAD_QUERY_INFORMATION | THREAD_QUERY_LIMITED_INFORMATION, user);

    EXPECT_NE(::ResumeThread(agent.thread.get()), static_cast<DWORD>(-1));
    for (const Right& right : kProcessRights)
        EXPECT_EQ(ProbeOpen(L"process", agent.processId, right.mask), static_cast<DWORD>(ERROR_ACCESS_DENIED))
            << "another process of the user may " << right.name << " the agent's process";
    for (const Right& right : kThreadRights)
        EXPECT_EQ(ProbeOpen(L"thread", agent.processId, right.mask), static_cast<DWORD>(ERROR_ACCESS_DENIED))
            << "another process of the user may " << right.name << " the agent's thread";
    EXPECT_EQ(ProbeOpen(L"process", agent.processId, SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION), 0u)
        << "waiting for the agent and asking its name are left to the user";
    EXPECT_EQ(ProbeOpen(L"thread", agent.processId, SYNCHRONIZE | THREAD_QUERY_LIMITED_INFORMATION), 0u);
    EXPECT_FALSE(UniqueHandle(::OpenProcess(PROCESS_TERMINATE, FALSE, agent.processId))) << "nor this process";

    EXPECT_TRUE(::TerminateProcess(agent.process.get(), 0)) << "the launch's own handle ends it";
    EXPECT_EQ(::WaitForSingleObject(agent.process.get(), 20000), WAIT_OBJECT_0);
}

// Wine's WTSTerminateProcess refuses: the real call must still end the process.
TEST(SessionSystem, TerminateProcessEndsTheProcess) {
    const ChildProcess application = ChildProcess::sibling(L"idle_agent.exe");
    ASSERT_TRUE(application);
    EXPECT_TRUE(RealSessionSystem().terminateProcess(application.id()));
    EXPECT_EQ(application.waitForExit(20000), std::optional<DWORD>(0));
}

// The place of a process is its token's session and user; a process of the same user in the same
// session has the same one.
TEST(SessionSystem, PlaceOfAProcessIsItsTokensSessionAndUser) {
    const ChildProcess application = ChildProcess::sibling(L"idle_agent.exe");
    ASSERT_TRUE(application);
    const ProcessPlace own = RealSessionSystem().placeOfProcess(::GetCurrentProcess());
    ASSERT_TRUE(own.account.has_value());
    EXPECT_TRUE(own.account->starts_with(L"S-1-5-")) << wideToUtf8(*own.account);
    EXPECT_EQ(own.session, std::optional<DWORD>(1)) << "Wine's one session";
    const UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, application.id()));
    const ProcessPlace other = RealSessionSystem().placeOfProcess(process.get());
    EXPECT_EQ(other.session, own.session);
    EXPECT_EQ(other.account, own.account);
    const ProcessPlace none = RealSessionSystem().placeOfProcess(nullptr);
    EXPECT_FALSE(none.session || none.account) << "no process";
}

// A process is ended only while it is the one the agent reported: an id reused by another
// process, or the service's own, is left alone.
TEST(ReportedProcess, OnlyTheProcessCreatedAtTheReportedTimeIsEnded) {
    const ChildProcess application = ChildProcess::sibling(L"idle_agent.exe");
    const std::optional<StampedProcess> stamped = StampReportedProcess(OwnPlace(), application.id(), false);
    ASSERT_TRUE(stamped.has_value());
    EXPECT_FALSE(stamped->identity.has_value()) << "named only when asked";
    const std::optional<uint64_t> createdAt = stamped->createdAt;
    EXPECT_FALSE(StampReportedProcess(OwnPlace(), ::GetCurrentProcessId(), false).has_value());
    EXPECT_FALSE(StampReportedProcess({2, OwnAccount()}, application.id(), true).has_value()) << "a caller elsewhere";
    const std::optional<StampedProcess> named = StampReportedProcess(OwnPlace(), application.id(), true);
    ASSERT_TRUE(named && named->identity);
    EXPECT_EQ(named->identity->applicationId, L"win32:idle_agent.exe");

    EXPECT_FALSE(EndReportedProcess(application.id(), *createdAt - 1)) << "the id names another process now";
    EXPECT_FALSE(application.waitForExit(500));
    EXPECT_TRUE(EndReportedProcess(application.id(), *createdAt));
    EXPECT_TRUE(application.waitForExit(10000));
    EXPECT_FALSE(EndReportedProcess(application.id(), *createdAt)) << "the process is gone";
    EXPECT_FALSE(StampReportedProcess(OwnPlace(), application.id(), true).has_value());
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
