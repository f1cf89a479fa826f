#pragma once
// Starting the agent as the user of a session, on that session's interactive desktop.
#include <windows.h>

#include <string>

#include "unique_handle.h"

namespace brisko {

struct LaunchedProcess {
    DWORD processId = 0;
    UniqueHandle process;
};

// An empty result when the session has no user token or any step fails.
LaunchedProcess LaunchAgentInSession(DWORD sessionId, const std::wstring& agentPath);

}  // namespace brisko
