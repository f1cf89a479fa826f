#pragma once
// brisko::AgentManager: the RPC server's host, the supervisor of the agents and the owner of
// the application registry.
#include <windows.h>

#include <atomic>
#include <deque>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "agent_manager/agent_manager.h"
#include "agent_manager/restart_rule.h"
#include "applications/application_registry.h"
#include "unique_handle.h"

namespace brisko {

struct AgentRecord {
    DWORD processId = 0;  // 0: the session has no agent
    DWORD sessionId = 0;
    std::wstring userName;
    std::optional<std::wstring> account;  // the agent's account (a SID string), from its launch
    RestartHistory restarts;
    std::optional<int64_t> relaunchAt;    // a relaunch is due then (MonotonicMilliseconds)
};

class AgentManager {
public:
    struct Message {
        AgentManagerMessage kind;
        DWORD sessionId;
    };

    AgentManager(std::wstring agentPath, const Handler& handler);
    ~AgentManager();
    AgentManager(const AgentManager&) = delete;
    AgentManager& operator=(const AgentManager&) = delete;

    // 0, or the RPC status of the failed registration.
    long start();
    // Stops listening (its status when that fails) and waits for the threads to end.
    DWORD stop();

    void postMessage(AgentManagerMessage kind, DWORD sessionId);
    bool findSupervisedAgent(DWORD processId, SupervisedAgent* agent);
    ApplicationRegistry& registry() { return registry_; }
    std::atomic<int>& activeCalls() { return activeCalls_; }

private:
    class Supervisor;
    static DWORD WINAPI SupervisorMain(void* manager);
    static DWORD WINAPI ListenMain(void* manager);
    // Ends the supervisor (which ends every agent) and waits for it.
    DWORD stopSupervisor();

    Handler handler_;
    UniqueHandle listenThread_;
    std::wstring agentPath_;
    UniqueHandle wakeEvent_;
    std::deque<Message> messages_;
    // supervisorLock_ guards agents_ and messages_. Records are written only by the supervisor
    // thread, always under the lock; other threads (FindSupervisedAgent on RPC threads, message
    // posting on the event thread) read or push only under it. It is held for short moments
    // only: never while an agent is launched or ended, nor while anything is waited for. It is
    // never held together with the registry's locks: an RPC procedure asks FindSupervisedAgent
    // before it takes those.
    std::mutex supervisorLock_;
    std::list<AgentRecord> agents_;
    ApplicationRegistry registry_;
    UniqueHandle supervisorThread_;
    std::atomic<int> activeCalls_{0};
};

// The current manager, held for the length of one RPC procedure: a manager being stopped
// waits until no such hold is left. Empty when no manager runs.
class ManagerCall {
public:
    ManagerCall();
    ~ManagerCall();
    ManagerCall(const ManagerCall&) = delete;
    ManagerCall& operator=(const ManagerCall&) = delete;

    explicit operator bool() const { return manager_ != nullptr; }
    AgentManager* operator->() const { return manager_; }

private:
    AgentManager* manager_;
};

// Waits for a handle while still serving messages sent to this thread's windows: an RPC
// call that waits for the event thread can then finish while the event thread waits here.
DWORD WaitServingSentMessages(HANDLE handle);

}  // namespace brisko
