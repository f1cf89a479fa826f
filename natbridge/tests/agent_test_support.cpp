#include "agent_test_support.h"

#include <tlhelp32.h>

#include "agent_rpc/agent_rpc_server.h"
#include "text.h"

namespace brisko::testing {

std::vector<DWORD> ChildProcesses(const std::wstring& exeName) {
    std::vector<DWORD> children;
    UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry))
        if (entry.th32ParentProcessID == ::GetCurrentProcessId() && ::lstrcmpiW(entry.szExeFile, exeName.c_str()) == 0 &&
            ProcessRunning(entry.th32ProcessID))
            children.push_back(entry.th32ProcessID);
    return children;
}

void EndChildProcesses() {
    for (const wchar_t* name : {L"idle_agent.exe", L"puppet_agent.exe", L"exiting_agent.exe"}) {
        for (const DWORD processId : ChildProcesses(name)) {
            UniqueHandle process(::OpenProcess(PROCESS_TERMINATE, FALSE, processId));
            if (process) ::TerminateProcess(process.get(), 1);
        }
    }
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    while (!condition()) {
        if (::GetTickCount64() > end) return false;
        ::Sleep(20);
    }
    return true;
}

bool ProcessRunning(DWORD processId) {
    UniqueHandle process(::OpenProcess(SYNCHRONIZE, FALSE, processId));
    return process && ::WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

FakeSessions::FakeSessions(std::vector<DWORD> sessions) {
    AgentRpcAuthentication() = [] { return 0L; };
    SessionSystem& system = CurrentSessionSystem();
    system.enumerateSessions = [sessions] { return sessions; };
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

}  // namespace brisko::testing
