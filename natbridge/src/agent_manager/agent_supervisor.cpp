// The supervisor thread: launches an agent in every session, relaunches agents that end,
// follows logons and logoffs, and ends every agent on stop. Records change only here, always
// under supervisorLock; the wait lists belong to this thread alone.
#include <algorithm>

#include "agent_manager/agent_launcher.h"
#include "agent_manager/agent_manager_impl.h"
#include "agent_manager/session_system.h"

namespace brisko {

class AgentManager::Supervisor {
public:
    explicit Supervisor(AgentManager& manager) : manager_(manager) {}

    void run() {
        for (const DWORD session : CurrentSessionSystem().enumerateSessions()) launch(session, nullptr);
        while (drainMessages()) {
            std::vector<HANDLE> handles{manager_.wakeEvent_.get()};
            for (const Agent& agent : waiting_) handles.push_back(agent.process.get());
            const DWORD result = ::WaitForMultipleObjectsEx(static_cast<DWORD>(handles.size()), handles.data(),
                                                            FALSE, INFINITE, TRUE);
            if (result == WAIT_IO_COMPLETION || result == WAIT_OBJECT_0) continue;
            if (result >= WAIT_OBJECT_0 + handles.size()) break;  // failed, timed out or abandoned
            const size_t index = result - WAIT_OBJECT_0 - 1;
            const DWORD processId = waiting_[index].processId;
            waiting_.erase(waiting_.begin() + static_cast<ptrdiff_t>(index));
            handleExit(processId);
        }
        waiting_.clear();
    }

private:
    struct Agent {
        UniqueHandle process;
        DWORD processId;
    };
    // WaitForMultipleObjects takes 64 handles; the wake event uses one.
    static constexpr size_t kMaxAgents = MAXIMUM_WAIT_OBJECTS - 1;

    // Answers false once a stop was taken from the queue.
    bool drainMessages() {
        for (;;) {
            Message message;
            {
                std::lock_guard lock(manager_.supervisorLock_);
                if (manager_.messages_.empty()) return true;
                message = manager_.messages_.front();
                manager_.messages_.pop_front();
            }
            switch (message.kind) {
            case AgentManagerMessage::Logon:
                endSession(message.sessionId, true);
                launch(message.sessionId, nullptr);
                break;
            case AgentManagerMessage::Logoff:
                endSession(message.sessionId, false);
                break;
            case kStop:
                for (const Agent& agent : waiting_) ::TerminateProcess(agent.process.get(), 0);
                return false;
            default:
                break;
            }
        }
    }

    // A new record for a start-up or logon launch; `relaunched` takes the new agent instead.
    void launch(DWORD sessionId, AgentRecord* relaunched) {
        std::lock_guard lock(manager_.supervisorLock_);
        // An agent that could not be waited for could not be supervised: none is started.
        LaunchedProcess launched = waiting_.size() < kMaxAgents
                                       ? LaunchAgentInSession(sessionId, manager_.agentPath_)
                                       : LaunchedProcess{};
        std::wstring userName = SessionUserName(sessionId);
        if (relaunched) {
            relaunched->processId = launched.processId;
            relaunched->userName = std::move(userName);
        } else {
            manager_.agents_.push_back({launched.processId, sessionId, std::move(userName), {}});
        }
        if (launched.process) waiting_.push_back({std::move(launched.process), launched.processId});
    }

    void endSession(DWORD sessionId, bool terminate) {
        DWORD processId = 0;
        {
            std::lock_guard lock(manager_.supervisorLock_);
            const auto record = findRecord([&](const AgentRecord& r) { return r.sessionId == sessionId; });
            if (record == manager_.agents_.end()) return;
            processId = record->processId;
        }
        if (terminate && processId != 0) CurrentSessionSystem().terminateProcess(processId);
        std::lock_guard lock(manager_.supervisorLock_);
        if (processId != 0)
            std::erase_if(waiting_, [&](const Agent& agent) { return agent.processId == processId; });
        manager_.agents_.erase(findRecord([&](const AgentRecord& r) { return r.sessionId == sessionId; }));
    }

    void handleExit(DWORD processId) {
        AgentRecord* record = nullptr;
        {
            std::lock_guard lock(manager_.supervisorLock_);
            const auto found = findRecord([&](const AgentRecord& r) { return r.processId == processId; });
            if (found == manager_.agents_.end()) return;
            record = &*found;
            if (!AllowRestartNow(record->restarts)) {
                record->processId = 0;
                return;
            }
        }
        launch(record->sessionId, record);
    }

    template <typename Match>
    std::list<AgentRecord>::iterator findRecord(Match match) {
        return std::find_if(manager_.agents_.begin(), manager_.agents_.end(), match);
    }

    AgentManager& manager_;
    std::vector<Agent> waiting_;
};

DWORD WINAPI AgentManager::SupervisorMain(void* manager) {
    Supervisor(*static_cast<AgentManager*>(manager)).run();
    return 0;
}

}  // namespace brisko
