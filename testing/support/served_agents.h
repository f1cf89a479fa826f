#pragma once
// The agent manager's tests under Wine: the session seams, a recording Handler, the pipe that
// drives a stand-in agent, and fixtures that run a manager on a test event thread.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "agent_manager/agent_manager.h"
#include "session/session_system.h"
#include "applications/handler.h"
#include "event_thread.h"
#include "test_processes.h"
#include "unique_handle.h"

namespace brisko::testing {

// The user of every session under Wine: the account that runs the tests. Expectations use it
// rather than the product's own session query, so that they can catch that query's faults.
std::wstring sessionUser();

// Seams for Wine: a fixed session list; every process where Wine places it (session 1, the one
// user) unless a test places it elsewhere or makes it run as another account; WTSTerminateProcess
// recorded and carried out with TerminateProcess;
// the RPC server's authentication registration (Wine has no NTLM here) answered with success.
// Puts the real ones back on destruction.
class FakeSessions {
public:
    explicit FakeSessions(std::vector<DWORD> sessions = {1});
    ~FakeSessions();
    std::vector<DWORD> ended() const;
    void placeInSession(DWORD processId, DWORD sessionId);
    // The process runs as that account (a SID string); others as their real one.
    void runAs(DWORD processId, const std::wstring& account);

private:
    mutable std::mutex lock_;
    std::vector<DWORD> ended_;
    std::map<DWORD, DWORD> placed_;
    std::map<DWORD, std::wstring> accounts_;
};

// Ends an idle_agent.exe through its own exit event: agents that a manager launched cannot be
// ended by this process (their descriptor lets only SYSTEM do so). False when it did not end.
bool endIdleAgent(DWORD processId);

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

// The test's end of the pipe of one stand-in agent (puppet_agent.exe, activity_client.exe).
class Puppet {
public:
    // Waits for the next stand-in to connect to this process's pipe; false on time-out.
    bool accept(DWORD timeoutMs = 20000);
    DWORD processId() const { return processId_; }
    // Sends one request and answers the status that the stand-in reports.
    DWORD call(const std::wstring& request);

private:
    UniqueFile pipe_;
    DWORD processId_ = 0;
};

// An agent manager on a test event thread with the session seams in place. Whatever a test
// leaves running, the manager and the programs it launched, is stopped afterwards.
class AgentManagerTest : public ::testing::Test {
protected:
    void TearDown() override;

    // The manager launches the program beside the test as its agent; null when creation failed.
    AgentManager* createManager(const std::wstring& program, Handler handler = [](auto&&...) { return true; });
    // StopAgentManager on the event thread.
    DWORD stopManager();

    FakeSessions sessions_;
    TestEventThread eventThread_;

private:
    std::set<std::wstring> programs_;
};

// A manager whose agent is a stand-in driven over its pipe, a core that records decisions, and
// real processes for the agent to report: the service acts only on processes that exist.
class ServedAgentTest : public AgentManagerTest {
protected:
    // Both programs lie beside the test; the application program runs until it is ended.
    ServedAgentTest(std::wstring program, std::wstring applicationProgram)
        : program_(std::move(program)), applicationProgram_(std::move(applicationProgram)) {}
    void SetUp() override;
    void TearDown() override;

    // The process id, as report text, of the application process with that number (from 1),
    // started at its first use.
    std::wstring pid(size_t number);
    const ChildProcess& application(size_t number);

    // The core's record of a decision for this session's user.
    std::wstring started(const std::wstring& applicationId) const { return L"start " + applicationId + L" " + user_; }
    std::wstring stopped(const std::wstring& applicationId) const { return L"stop " + applicationId + L" " + user_; }

    RecordingCore core_{eventThread_};
    Puppet agent_;
    std::wstring user_;

private:
    std::wstring program_;
    std::wstring applicationProgram_;
    std::vector<ChildProcess> applications_;
};

}  // namespace brisko::testing
