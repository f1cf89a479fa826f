#pragma once
// The agent's client of the service's AgentApplications interface: turns the window monitor's
// reports into RPC calls and ends the agent when the service cannot be reached (the service
// launches a new one).
#include <windows.h>

#include <rpc.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "service_rpc/service_binding.h"
#include "uia/activity_listener.h"
#include "unique_handle.h"

namespace brisko {

class ActivityMonitor final : public UIA::ActivityMonitor {
public:
    // serviceLost runs when the service cannot be bound or a call fails, on the thread that found
    // it (the main thread at start, the window monitor's worker afterwards).
    ActivityMonitor(UIA::MonitorFactory monitorFactory, std::function<void()> serviceLost);
    ~ActivityMonitor();
    ActivityMonitor(const ActivityMonitor&) = delete;
    ActivityMonitor& operator=(const ActivityMonitor&) = delete;

    // On the main thread: binds to the service (reporting it lost when that fails) and starts
    // the window monitor either way.
    void start();
    // On the main thread: stops the window monitor, then gives the list back to the service.
    void stop();
    // Whether the service holds a list for this agent (a handle from OpenApplicationList).
    bool listOpen() const;

    void reportInitial(const std::vector<UIA::RunningApplicationInfo>& list) override;
    void reportStarted(DWORD processId, const std::wstring& applicationId,
                       const std::wstring& applicationName) override;
    void reportStopped(DWORD processId, const std::wstring& applicationId,
                       const std::wstring& applicationName) override;

private:
    bool bind();
    template <typename Call>
    void callService(Call&& call);
    void dropList();

    std::function<void()> serviceLost_;
    mutable std::mutex mutex_;
    void* list_ = nullptr;  // ApplicationListHandle
    UniqueRpcBinding binding_;
    std::unique_ptr<UIA::MonitorControl> monitor_;
    UIA::MonitorFactory monitorFactory_;
};

}  // namespace brisko
