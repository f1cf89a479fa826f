#pragma once
// The agent manager: launches and supervises an agent in every user session, serves their
// RPC and keeps the application registry. At most one per process; every operation works on
// the current one. All but FindSupervisedAgent are called on the event thread.
#include <windows.h>

#include <cstdint>
#include <string>

#include "applications/handler.h"
#include "session/session_system.h"

namespace brisko {

class AgentManager;

// What the supervisor thread is asked to do for a session.
enum class AgentManagerMessage : int32_t {
    Logon = 0,   // end the session's agent, if any, and launch a new one
    Logoff = 1,  // forget the session's agent, which ends with its session
    Stop = 2,    // end every agent and the supervisor (session 0); the manager's stop sends it
};

// An agent that the manager launched and still supervises.
struct SupervisedAgent {
    std::wstring userName;  // the session's user name at the launch; empty if unknown
    ProcessPlace place;     // its session and account, as launched
};

// Null when a manager already exists or starting it failed.
AgentManager* CreateAgentManager(const std::wstring& agentPath, const Handler& handler);
// Stops the RPC server, the supervisor and every agent, then destroys the manager.
DWORD StopAgentManager();
void PostSessionMessage(AgentManagerMessage kind, DWORD sessionId);
// False for a process that is no supervised agent; `agent` (when given) receives the record.
bool FindSupervisedAgent(DWORD processId, SupervisedAgent* agent);
void TerminateApplication(const std::wstring& applicationId, const std::wstring& userName);

}  // namespace brisko
