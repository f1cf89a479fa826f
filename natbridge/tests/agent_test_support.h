#pragma once
// Helpers of the agent manager's tests under Wine: sibling programs, child processes, the
// session seams, a recording Handler and the pipe that drives the puppet agent.
#include <windows.h>

#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "agent_manager/session_system.h"
#include "applications/handler.h"
#include "executable_path.h"
#include "test_event_thread.h"
#include "unique_handle.h"

namespace brisko::testing {

// Ids of the running processes of that executable name started by this process.
std::vector<DWORD> ChildProcesses(const std::wstring& exeName);

// Ends every stand-in program this process started, so a failed test leaves nothing behind.
void EndChildProcesses();

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = 20000);

bool ProcessRunning(DWORD processId);

// Seams for Wine: a fixed session list; WTSTerminateProcess recorded and carried out with
// TerminateProcess; the RPC server's authentication registration (Wine has no NTLM here)
// answered with success. Puts the real ones back on destruction.
class FakeSessions {
public:
    explicit FakeSessions(std::vector<DWORD> sessions = {1});
    ~FakeSessions();
    std::vector<DWORD> ended() const;

private:
    mutable std::mutex lock_;
    std::vector<DWORD> ended_;
};

// A Handler that records every call as "start id user" or "stop id user" and runs on the
// test's event thread; it refuses the application ids in `refused`.
class RecordingCore {
public:
    explicit RecordingCore(const TestEventThread& eventThread) : eventThread_(eventThread) {}
    Handler handler();
    std::vector<std::wstring> calls() const;
    void refuse(const std::wstring& applicationId);
    // Called on the RPC thread just before the decision is sent to the event thread.
    std::function<void()> beforeDecision;

private:
    const TestEventThread& eventThread_;
    mutable std::mutex lock_;
    std::vector<std::wstring> calls_;
    std::set<std::wstring> refused_;
};

// The test's end of one puppet agent's pipe.
class Puppet {
public:
    // Waits for the next puppet to connect to this process's pipe; false on time-out.
    bool accept(DWORD timeoutMs = 20000);
    DWORD processId() const { return processId_; }
    // Sends one request and answers the RPC status that the puppet reports.
    DWORD call(const std::wstring& request);

private:
    UniqueFile pipe_;
    DWORD processId_ = 0;
};

}  // namespace brisko::testing
