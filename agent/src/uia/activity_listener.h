#pragma once
// The boundary between the window monitor, which sees applications start and stop, and the
// activity monitor, which reports them to the service.
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace brisko::UIA {

struct RunningApplicationInfo {
    DWORD processId = 0;
    std::wstring applicationId;
    std::wstring applicationName;
};

// Receives the window monitor's reports, all on its work-queue thread: the first list once the
// initial enumeration is complete, then each start and stop.
class ActivityMonitor {
public:
    virtual void reportInitial(const std::vector<RunningApplicationInfo>& list) = 0;
    virtual void reportStarted(DWORD processId, const std::wstring& applicationId,
                               const std::wstring& applicationName) = 0;
    virtual void reportStopped(DWORD processId, const std::wstring& applicationId,
                               const std::wstring& applicationName) = 0;

protected:
    ~ActivityMonitor() = default;
};

// What the activity monitor holds of the window monitor: started and stopped on the main thread;
// stop returns once the monitor's worker has finished what was posted before. Destroying it
// gives up the holder's reference.
class MonitorControl {
public:
    virtual ~MonitorControl() = default;
    virtual void start() = 0;
    virtual void stop() = 0;
};

using MonitorFactory = std::function<std::unique_ptr<MonitorControl>(ActivityMonitor& listener)>;

// The window monitor over the system's UI Automation.
std::unique_ptr<MonitorControl> createMonitor(ActivityMonitor& listener);

}  // namespace brisko::UIA
