// The supervisor thread: launches an agent in every session, relaunches agents that end (at once,
// or after a back-off while they keep ending), follows logons and logoffs, and ends every agent on
// stop. The wait list belongs to this thread alone; the lock rules are beside supervisorLock_.
#include <algorithm>
#include <cstdio>

#include "agent_manager/agent_launcher.h"
#include "agent_manager/agent_manager_impl.h"
#include "session/session_system.h"

namespace brisko {

namespace {

// The one console line of a session whose agent keeps ending.
void ReportBackOff(DWORD sessionId, int64_t delay) {
    std::printf("AgentManager: the agent of session %lu keeps ending; relaunching it with a back-off from %lu s\n",
                static_cast<unsigned long>(sessionId), static_cast<unsigned long>(delay / 1000));
    std::fflush(stdout);
}

}  // namespace

class AgentManager::Supervisor {
public:
    explicit Supervisor(AgentManager& manager) : manager_(manager) {}

    void run() {
        for (const DWORD session : CurrentSessionSystem().enumerateSessions()) launch(session, nullptr);
        while (drainMessages()) {
            launchDue();
            std::vector<HANDLE> handles{manager_.wakeEvent_.get()};
            for (const Agent& agent : waiting_) handles.push_back(agent.process.get());
            const DWORD result = ::WaitForMultipleObjectsEx(static_cast<DWORD>(handles.size()), handles.data(),
                                                            FALSE, untilNextRelaunch(), TRUE);
            if (result == WAIT_IO_COMPLETION || result == WAIT_OBJECT_0 || result == WAIT_TIMEOUT) continue;
            if (result >= WAIT_OBJECT_0 + handles.size()) break;  // failed or abandoned
            const size_t index = result - WAIT_OBJECT_0 - 1;
            // The record changes before the handle closes: while it is open the id cannot pass to
            // another process, which the record would otherwise admit as this agent.
            const Agent exited = std::move(waiting_[index]);
            waiting_.erase(waiting_.begin() + static_cast<ptrdiff_t>(index));
            handleExit(exited.processId);
        }
        {
            std::lock_guard lock(manager_.supervisorLock_);
            for (AgentRecord& record : manager_.agents_) {
                record.processId = 0;
                record.relaunchAt.reset();
            }
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
            case AgentManagerMessage::Stop:
                for (const Agent& agent : waiting_) ::TerminateProcess(agent.process.get(), 0);
                return false;
            }
        }
    }

    // A new record for a start-up or logon launch; `relaunched` takes the new agent instead.
    // False when no agent was started.
    bool launch(DWORD sessionId, AgentRecord* relaunched) {
        // Launched outside the lock, which every RPC call and the event thread may want meanwhile.
        // The agent is suspended until its record admits it, so its first call is not refused.
        // An agent that could not be waited for could not be supervised: none is started.
        LaunchedProcess launched = waiting_.size() < kMaxAgents
                                       ? LaunchAgentInSession(sessionId, manager_.agentPath_)
                                       : LaunchedProcess{};
        std::wstring userName = CurrentSessionSystem().sessionUserName(sessionId).value_or(L"");
        {
            std::lock_guard lock(manager_.supervisorLock_);
            if (relaunched) {
                relaunched->processId = launched.processId;
                relaunched->userName = std::move(userName);
                relaunched->account = launched.account;
                relaunched->relaunchAt.reset();
            } else {
                manager_.agents_.push_back(
                    {launched.processId, sessionId, std::move(userName), launched.account, {}, {}});
            }
        }
        if (!launched.process) return false;
        // An agent that cannot be resumed would never run: it is ended, and its end handled as
        // any other.
        if (::ResumeThread(launched.thread.get()) == static_cast<DWORD>(-1))
            ::TerminateProcess(launched.process.get(), 0);
        waiting_.push_back({std::move(launched.process), launched.processId});
        return true;
    }

    void endSession(DWORD sessionId, bool terminate) {
        const auto record = findRecord([&](const AgentRecord& r) { return r.sessionId == sessionId; });
        if (record == manager_.agents_.end()) return;
        std::optional<Agent> agent;
        if (const auto waiting = std::find_if(waiting_.begin(), waiting_.end(),
                                              [&](const Agent& a) { return a.processId == record->processId; });
            record->processId != 0 && waiting != waiting_.end()) {
            agent = std::move(*waiting);
            waiting_.erase(waiting);
        }
        // Through the launch's own handle: the agent's descriptor lets nobody else end it.
        if (terminate && agent) ::TerminateProcess(agent->process.get(), 0);
        std::lock_guard lock(manager_.supervisorLock_);
        manager_.agents_.erase(record);
    }

    void handleExit(DWORD processId) {
        const auto record = findRecord([&](const AgentRecord& r) { return r.processId == processId; });
        if (record != manager_.agents_.end()) scheduleRelaunch(*record);
    }

    // The session's agent ended, or could not be relaunched: the restart rule says when the next
    // one is launched.
    void scheduleRelaunch(AgentRecord& record) {
        const int64_t now = MonotonicMilliseconds();
        const RestartDecision decision = DecideRestart(record.restarts, now, AgentRestartTimings());
        if (decision.backOffStarted) ReportBackOff(record.sessionId, decision.delay);
        {
            std::lock_guard lock(manager_.supervisorLock_);
            record.processId = 0;
            record.relaunchAt = now + decision.delay;
        }
        if (decision.delay == 0) relaunch(record);
    }

    void relaunch(AgentRecord& record) {
        if (!launch(record.sessionId, &record)) scheduleRelaunch(record);
    }

    void launchDue() {
        const int64_t now = MonotonicMilliseconds();
        for (AgentRecord& record : manager_.agents_)
            if (record.relaunchAt && *record.relaunchAt <= now) relaunch(record);
    }

    // Milliseconds until the next relaunch is due; INFINITE when none is.
    DWORD untilNextRelaunch() const {
        std::optional<int64_t> next;
        for (const AgentRecord& record : manager_.agents_)
            if (record.relaunchAt) next = std::min(next.value_or(*record.relaunchAt), *record.relaunchAt);
        if (!next) return INFINITE;
        return static_cast<DWORD>(std::clamp<int64_t>(*next - MonotonicMilliseconds(), 0, INFINITE - 1));
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
