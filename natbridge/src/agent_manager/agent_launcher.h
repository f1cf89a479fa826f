#pragma once
// Starting the agent as the user of a session, on that session's interactive desktop, protected
// from that user (agent_security.h).
#include <windows.h>

#include <optional>
#include <string>

#include "unique_handle.h"

namespace brisko {

struct LaunchedProcess {
    DWORD processId = 0;
    UniqueHandle process;
    // Its first thread. The process is created suspended: whoever launched it resumes this
    // thread once the agent can be admitted as supervised.
    UniqueHandle thread;
    // The account the agent runs as (its token's user, a SID string).
    std::optional<std::wstring> account;
};

// An empty result when the session has no user token or any step fails; no agent is ever
// started without its descriptors.
LaunchedProcess LaunchAgentInSession(DWORD sessionId, const std::wstring& agentPath);

}  // namespace brisko
