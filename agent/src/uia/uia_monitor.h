#pragma once
// Follows the user's windows through UI Automation and reports the processes that have at
// least one counted window: a window that is not minimized and is not an application frame
// whose hosted application is still unknown. A window that holds a window of another process
// counts for that process too, so every process with a window on the desktop is decided. UI
// Automation calls the handlers on its own threads; they post to one work queue, where all
// table work runs in posting order.
#include <windows.h>

#include <functional>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "com_ptr.h"
#include "identification/process_table.h"
#include "uia/activity_listener.h"
#include "uia/com_class.h"
#include "uia/frame_host.h"
#include "uia/uia_interfaces.h"
#include "uia/window_table.h"
#include "uia/work_queue.h"

namespace brisko::UIA {

class WindowContentMonitor;
class WindowVisibilityMonitor;

// Where the monitor obtains the automation object: null when there is none.
using AutomationSource = std::function<ComPtr<IUIAutomation>()>;

// The system's: CoCreateInstance of CLSID_CUIAutomation in the caller's apartment.
ComPtr<IUIAutomation> systemAutomation();

class Monitor final : public ComClass<IUIAutomationEventHandler> {
public:
    // Created with one reference, the creator's.
    Monitor(ActivityMonitor& listener, AutomationSource automationSource, FrameHostCheck isFrameHost);

    // Main thread. Without UI Automation the monitor stays idle and reports nothing.
    void start();
    // Main thread. Returns once the worker has run everything posted before; no report follows.
    void stop();

    HRESULT STDMETHODCALLTYPE HandleAutomationEvent(IUIAutomationElement* sender, EVENTID eventId) override;

    // Worker thread: the tasks of the window handlers.
    void visibilityChanged(WindowVisibilityMonitor& handler, int visualState);
    void contentChanged(WindowContentMonitor& handler, IUIAutomationElement* hosted);

private:
    ~Monitor() override;

    void initialEnumeration(const ComPtr<IUIAutomationElement>& root);
    void windowEvent(const ComPtr<IUIAutomationElement>& element, EVENTID eventId);
    void windowOpened(IUIAutomationElement* element, RuntimeId runtimeId);
    void addOrdinaryWindow(IUIAutomationElement* element, RuntimeId runtimeId, DWORD processId, WindowEntry*& made);
    void addFrameWindow(IUIAutomationElement* element, RuntimeId runtimeId, DWORD processId, WindowEntry*& made);
    DWORD hostedProcess(IUIAutomationElement* frame, DWORD frameProcessId);
    // The child windows of parent in order, while visit answers true.
    void forEachChildWindow(IUIAutomationElement* parent, const std::function<bool(IUIAutomationElement* child)>& visit);
    void addHostedWindows(WindowEntry& host);
    void addHostedWindow(WindowEntry& host, IUIAutomationElement* child);
    void attachVisibilityMonitor(WindowEntry& entry);
    void attachContentMonitor(WindowEntry& entry);
    void setMinimized(WindowEntry& entry, bool minimized);
    void addWindow(const ProcessRecord& record);
    void removeWindow(const ProcessRecord& record);
    void removeEntry(WindowEntry& entry);
    void processExited(DWORD processId);
    void stopOnWorker();

    bool initialDone_ = false;
    std::shared_ptr<WorkQueue> workQueue_;
    std::mutex mutex_;
    ActivityMonitor* listener_;
    std::unique_ptr<WindowTable> windows_;
    ComPtr<IUIAutomation> automation_;
    ComPtr<IUIAutomationCacheRequest> cacheRequest_;
    std::unique_ptr<ProcessTable> processes_;
    std::unordered_map<DWORD, std::uint32_t> windowCounts_;

    AutomationSource automationSource_;
    FrameHostCheck isFrameHost_;
    bool started_ = false;  // main thread only
};

// What the activity monitor holds: starts and stops a monitor and gives up its reference when
// destroyed (stopping it first, so that no report reaches a listener that is gone).
std::unique_ptr<MonitorControl> makeMonitorControl(ActivityMonitor& listener, AutomationSource automationSource,
                                                   FrameHostCheck isFrameHost = &isSystemFrameHost);

}  // namespace brisko::UIA
