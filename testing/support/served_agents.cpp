#include "served_agents.h"

#include "agent_rpc/agent_rpc_server.h"
#include "text.h"

namespace brisko::testing {

std::wstring sessionUser() {
    wchar_t name[256];
    DWORD size = 256;
    return ::GetUserNameW(name, &size) ? name : L"";
}

FakeSessions::FakeSessions(std::vector<DWORD> sessions) {
    AgentRpcAuthentication() = [] { return 0L; };
    SessionSystem& system = CurrentSessionSystem();
    system.enumerateSessions = [sessions] { return sessions; };
    system.placeOfProcess = [this](HANDLE process) {
        ProcessPlace place = RealSessionSystem().placeOfProcess(process);
        std::lock_guard lock(lock_);
        const DWORD processId = ::GetProcessId(process);
        if (const auto placed = placed_.find(processId); placed != placed_.end()) place.session = placed->second;
        if (const auto account = accounts_.find(processId); account != accounts_.end()) place.account = account->second;
        return place;
    };
    system.terminateProcess = [this](DWORD processId) {
        {
            std::lock_guard lock(lock_);
            ended_.push_back(processId);
        }
        UniqueHandle process(::OpenProcess(PROCESS_TERMINATE, FALSE, processId));
        return process && ::TerminateProcess(process.get(), 0);
    };
}

FakeSessions::~FakeSessions() {
    CurrentSessionSystem() = RealSessionSystem();
    AgentRpcAuthentication() = RegisterWindowsAuthentication;
}

std::vector<DWORD> FakeSessions::ended() const {
    std::lock_guard lock(lock_);
    return ended_;
}

void FakeSessions::placeInSession(DWORD processId, DWORD sessionId) {
    std::lock_guard lock(lock_);
    placed_[processId] = sessionId;
}

void FakeSessions::runAs(DWORD processId, const std::wstring& account) {
    std::lock_guard lock(lock_);
    accounts_[processId] = account;
}

Handler RecordingCore::handler() {
    return [this](const std::wstring& id, const std::wstring&, const std::wstring& user, bool started) {
        if (beforeDecision) beforeDecision();
        bool answer = true;
        eventThread_.run([&] {
            std::lock_guard lock(lock_);
            calls_.push_back((started ? L"start " : L"stop ") + id + L" " + user);
            answer = !started || !refused_.contains(id);
        });
        return answer;
    };
}

std::vector<std::wstring> RecordingCore::calls() const {
    std::lock_guard lock(lock_);
    return calls_;
}

void RecordingCore::refuse(const std::wstring& applicationId) {
    std::lock_guard lock(lock_);
    refused_.insert(applicationId);
}

bool Puppet::accept(DWORD timeoutMs) {
    const std::wstring name = L"\\\\.\\pipe\\brisko-puppet-" + std::to_wstring(::GetCurrentProcessId());
    pipe_.reset(::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                   PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES,
                                   8192, 8192, 0, nullptr));
    if (!pipe_) return false;
    UniqueHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    OVERLAPPED overlapped{};
    overlapped.hEvent = event.get();
    if (!::ConnectNamedPipe(pipe_.get(), &overlapped)) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_IO_PENDING && ::WaitForSingleObject(event.get(), timeoutMs) != WAIT_OBJECT_0) {
            ::CancelIoEx(pipe_.get(), &overlapped);
            DWORD ignored = 0;
            ::GetOverlappedResult(pipe_.get(), &overlapped, &ignored, TRUE);
            return false;
        }
        if (error != ERROR_IO_PENDING && error != ERROR_PIPE_CONNECTED) return false;
    }
    char hello[32];
    DWORD read = 0;
    overlapped = {};
    overlapped.hEvent = event.get();
    if (!::ReadFile(pipe_.get(), hello, sizeof(hello), &read, &overlapped) &&
        !::GetOverlappedResult(pipe_.get(), &overlapped, &read, TRUE))
        return false;
    processId_ = static_cast<DWORD>(std::stoul(std::string(hello, read)));
    return true;
}

DWORD Puppet::call(const std::wstring& request) {
    const std::string message = wideToUtf8(request);
    UniqueHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    OVERLAPPED overlapped{};
    overlapped.hEvent = event.get();
    DWORD count = 0;
    if (!::WriteFile(pipe_.get(), message.data(), static_cast<DWORD>(message.size()), &count, &overlapped) &&
        !::GetOverlappedResult(pipe_.get(), &overlapped, &count, TRUE))
        return ERROR_BROKEN_PIPE;
    char answer[32];
    overlapped = {};
    overlapped.hEvent = event.get();
    if (!::ReadFile(pipe_.get(), answer, sizeof(answer), &count, &overlapped)) {
        if (::GetLastError() != ERROR_IO_PENDING || ::WaitForSingleObject(event.get(), 60000) != WAIT_OBJECT_0 ||
            !::GetOverlappedResult(pipe_.get(), &overlapped, &count, FALSE))
            return ERROR_BROKEN_PIPE;
    }
    return static_cast<DWORD>(std::stoul(std::string(answer, count)));
}

bool endIdleAgent(DWORD processId) {
    const std::wstring name = L"brisko-idle-agent-" + std::to_wstring(processId);
    const UniqueHandle process(::OpenProcess(SYNCHRONIZE, FALSE, processId));
    UniqueHandle exit;
    // A launched agent may not have made its event yet.
    if (!process || !pollUntil([&] {
            exit.reset(::OpenEventW(EVENT_MODIFY_STATE, FALSE, name.c_str()));
            return exit || ::WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0;
        }))
        return false;
    if (exit) ::SetEvent(exit.get());
    return ::WaitForSingleObject(process.get(), 20000) == WAIT_OBJECT_0;
}

void AgentManagerTest::TearDown() {
    stopManager();
    // Agents the manager launched are protected from this process: idle ones are asked to go.
    for (const DWORD agent : childProcesses(L"idle_agent.exe")) endIdleAgent(agent);
    for (const std::wstring& program : programs_) endChildProcesses({program});
}

AgentManager* AgentManagerTest::createManager(const std::wstring& program, Handler handler) {
    programs_.insert(program);
    AgentManager* manager = nullptr;
    eventThread_.run([&] { manager = CreateAgentManager(siblingPath(program), handler); });
    return manager;
}

DWORD AgentManagerTest::stopManager() {
    DWORD status = 1;
    eventThread_.run([&] { status = StopAgentManager(); });
    return status;
}

void ServedAgentTest::SetUp() {
    user_ = sessionUser();
    ASSERT_FALSE(user_.empty());
    ASSERT_NE(createManager(program_, core_.handler()), nullptr);
    ASSERT_TRUE(agent_.accept()) << "the manager did not launch the agent";
}

const ChildProcess& ServedAgentTest::application(size_t number) {
    while (applications_.size() < number) applications_.push_back(ChildProcess::sibling(applicationProgram_));
    return applications_.at(number - 1);
}

std::wstring ServedAgentTest::pid(size_t number) { return std::to_wstring(application(number).id()); }

void ServedAgentTest::TearDown() {
    EXPECT_EQ(stopManager(), 0u);
    EXPECT_TRUE(pollUntil([&] { return childProcesses(program_).empty(); })) << "stop ends the agent";
    AgentManagerTest::TearDown();
}

}  // namespace brisko::testing
