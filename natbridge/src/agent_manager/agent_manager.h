#pragma once
// The agent manager: launches and supervises an agent in every user session, serves their
// RPC and keeps the application registry. At most one per process; every operation works on
// the current one. All but FindSupervisedAgent are called on the event thread.
#include <windows.h>

#include <string>

#include "applications/handler.h"

namespace brisko {

class AgentManager;

struct AgentManagerMessage {
    enum Kind : int { Logon = 0, Logoff = 1 };
};

// Null when a manager already exists or starting it failed.
AgentManager* CreateAgentManager(const std::wstring& agentPath, const Handler& handler);
// Stops the RPC server, the supervisor and every agent, then destroys the manager.
DWORD StopAgentManager();
void PostSessionMessage(int kind, DWORD sessionId);
bool FindSupervisedAgent(DWORD processId, std::wstring* userName);
void TerminateApplication(const std::wstring& applicationId, const std::wstring& userName);

}  // namespace brisko
