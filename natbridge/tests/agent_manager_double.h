#pragma once
// Stands in for the agent manager: records what the event thread asks of it.
#include <mutex>
#include <string>
#include <vector>

#include "agent_manager/agent_manager.h"

namespace brisko::testing {

struct AgentManagerDouble {
    std::vector<std::string> calls() const;
    Handler handler() const;
    void reset();

    mutable std::mutex lock;
    std::vector<std::string> recorded;
    Handler lastHandler;
    bool running = false;
};

AgentManagerDouble& agentManagerDouble();

}  // namespace brisko::testing
