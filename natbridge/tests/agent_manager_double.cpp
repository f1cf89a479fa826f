#include "agent_manager_double.h"

#include "text.h"

namespace brisko {
namespace testing {

std::vector<std::string> AgentManagerDouble::calls() const {
    std::lock_guard guard(lock);
    return recorded;
}

Handler AgentManagerDouble::handler() const {
    std::lock_guard guard(lock);
    return lastHandler;
}

void AgentManagerDouble::reset() {
    std::lock_guard guard(lock);
    recorded.clear();
    lastHandler = nullptr;
    running = false;
}

AgentManagerDouble& agentManagerDouble() {
    static AgentManagerDouble instance;
    return instance;
}

}  // namespace testing

namespace {

void Record(std::string call) {
    auto& manager = testing::agentManagerDouble();
    std::lock_guard guard(manager.lock);
    manager.recorded.push_back(std::move(call));
}

}  // namespace

AgentManager* CreateAgentManager(const std::wstring& agentPath, const Handler& handler) {
    auto& manager = testing::agentManagerDouble();
    std::lock_guard guard(manager.lock);
    manager.recorded.push_back("CreateAgentManager(" + wideToUtf8(agentPath) + ")");
    if (manager.running) return nullptr;
    manager.running = true;
    manager.lastHandler = handler;
    return reinterpret_cast<AgentManager*>(&manager);
}

DWORD StopAgentManager() {
    Record("StopAgentManager");
    std::lock_guard guard(testing::agentManagerDouble().lock);
    testing::agentManagerDouble().running = false;
    return 0;
}

void PostSessionMessage(AgentManagerMessage kind, DWORD sessionId) {
    Record("PostSessionMessage(" + std::to_string(static_cast<int>(kind)) + "," + std::to_string(sessionId) + ")");
}

bool FindSupervisedAgent(DWORD, SupervisedAgent*) { return false; }

void TerminateApplication(const std::wstring& applicationId, const std::wstring& userName) {
    Record("TerminateApplication(" + wideToUtf8(applicationId) + "," + wideToUtf8(userName) + ")");
}

}  // namespace brisko
