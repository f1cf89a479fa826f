#include "agent_manager/agent_manager_impl.h"

#include <memory>

#include "agent_manager/reported_process.h"
#include "agent_rpc/agent_rpc_server.h"

namespace brisko {

namespace {

std::mutex currentLock;
AgentManager* current = nullptr;

AgentManager* Current() {
    std::lock_guard lock(currentLock);
    return current;
}

// Takes the manager out of reach of new holders, then waits until every holder (an RPC
// procedure, the security callback) has let go; sent messages are served meanwhile, since a
// holder may wait for this thread.
void Retire(AgentManager& manager) {
    {
        std::lock_guard lock(currentLock);
        current = nullptr;
    }
    while (manager.activeCalls() > 0) {
        MSG message;
        ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        ::Sleep(5);
    }
}

}  // namespace

DWORD WaitServingSentMessages(HANDLE handle) {
    for (;;) {
        // MWMO_INPUTAVAILABLE: a call may have sent its message before this wait began.
        const DWORD result = ::MsgWaitForMultipleObjectsEx(1, &handle, INFINITE, QS_SENDMESSAGE, MWMO_INPUTAVAILABLE);
        if (result == WAIT_OBJECT_0) return 0;
        if (result != WAIT_OBJECT_0 + 1) return ::GetLastError();
        MSG message;
        ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

ManagerCall::ManagerCall() {
    std::lock_guard lock(currentLock);
    manager_ = current;
    if (manager_) ++manager_->activeCalls();
}

ManagerCall::~ManagerCall() {
    if (manager_) --manager_->activeCalls();
}

AgentManager::AgentManager(std::wstring agentPath, const Handler& handler)
    : handler_(handler),
      agentPath_(std::move(agentPath)),
      registry_(handler_, [](const ApplicationProcess& process) {
          EndReportedProcess(static_cast<DWORD>(process.processId), process.createdAt);
      }) {}

AgentManager::~AgentManager() = default;

long AgentManager::start() {
    if (const long status = StartAgentRpcServer(); status != 0) return status;
    // From here on the interface is registered and must be taken back on failure (and only
    // then: Wine's runtime stops serving after an unregistration of an unknown interface).
    const auto fail = [](DWORD error) {
        UnregisterAgentRpcInterface();
        return static_cast<long>(error);
    };

    wakeEvent_.reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!wakeEvent_) return fail(::GetLastError());
    supervisorThread_.reset(::CreateThread(nullptr, 0, SupervisorMain, this, 0, nullptr));
    if (!supervisorThread_) return fail(::GetLastError());

    // The server listens before start returns, so a stop right after it has something to stop.
    if (const long status = StartAgentRpcListening(); status != 0) {
        stopSupervisor();
        return fail(status);
    }
    listenThread_.reset(::CreateThread(nullptr, 0, ListenMain, this, 0, nullptr));
    if (!listenThread_) {
        const DWORD error = ::GetLastError();
        StopAgentRpcServer();
        stopSupervisor();
        return fail(error);
    }
    return 0;
}

DWORD WINAPI AgentManager::ListenMain(void*) {
    ListenAgentRpc();
    return 0;
}

DWORD AgentManager::stopSupervisor() {
    postMessage(AgentManagerMessage::Stop, 0);
    return WaitServingSentMessages(supervisorThread_.get());
}

DWORD AgentManager::stop() {
    if (const long status = StopAgentRpcServer(); status != 0) return static_cast<DWORD>(status);
    postMessage(AgentManagerMessage::Stop, 0);
    if (const DWORD error = WaitServingSentMessages(listenThread_.get()); error != 0) return error;
    return WaitServingSentMessages(supervisorThread_.get());
}

void AgentManager::postMessage(AgentManagerMessage kind, DWORD sessionId) {
    std::lock_guard lock(supervisorLock_);
    messages_.push_back({kind, sessionId});
    ::SetEvent(wakeEvent_.get());
}

bool AgentManager::findSupervisedAgent(DWORD processId, SupervisedAgent* agent) {
    if (processId == 0) return false;  // the id of a record without agent
    std::lock_guard lock(supervisorLock_);
    for (const AgentRecord& record : agents_) {
        if (record.processId != processId) continue;
        if (agent) *agent = {record.userName, {record.sessionId, record.account}};
        return true;
    }
    return false;
}

AgentManager* CreateAgentManager(const std::wstring& agentPath, const Handler& handler) {
    std::unique_ptr<AgentManager> manager;
    {
        std::lock_guard lock(currentLock);
        if (current) return nullptr;
        manager = std::make_unique<AgentManager>(agentPath, handler);
        // Current before it starts: the first agents may call as soon as they run.
        current = manager.get();
    }
    if (manager->start() != 0) {
        // Calls may have taken hold of it while it was current.
        Retire(*manager);
        return nullptr;
    }
    return manager.release();
}

DWORD StopAgentManager() {
    AgentManager* manager = Current();
    if (!manager) return 0;
    if (const DWORD status = manager->stop(); status != 0) return status;
    // Routines that took hold of the manager before it stopped listening finish first.
    Retire(*manager);
    UnregisterAgentRpcInterface();
    delete manager;
    return 0;
}

void PostSessionMessage(AgentManagerMessage kind, DWORD sessionId) {
    if (AgentManager* manager = Current()) manager->postMessage(kind, sessionId);
}

bool FindSupervisedAgent(DWORD processId, SupervisedAgent* agent) {
    // Held like the procedures hold it: the security callback may run while the manager goes.
    const ManagerCall call;
    return call && call->findSupervisedAgent(processId, agent);
}

void TerminateApplication(const std::wstring& applicationId, const std::wstring& userName) {
    if (AgentManager* manager = Current()) manager->registry().terminateApplication(applicationId, userName);
}

}  // namespace brisko
