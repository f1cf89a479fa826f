#include "uia/uia_monitor.h"

#include <string>
#include <vector>

#include "callback_boundary.h"
#include "uia/window_monitors.h"

namespace brisko::UIA {

namespace {

bool cachedInt(IUIAutomationElement* element, PROPERTYID property, int& value) {
    Variant result;
    if (FAILED(element->GetCachedPropertyValue(property, result.put())) || V_VT(&result.get()) != VT_I4) return false;
    value = V_I4(&result.get());
    return true;
}

bool cachedString(IUIAutomationElement* element, PROPERTYID property, std::wstring& value) {
    Variant result;
    if (FAILED(element->GetCachedPropertyValue(property, result.put())) || V_VT(&result.get()) != VT_BSTR) return false;
    const BSTR text = V_BSTR(&result.get());
    value.assign(text ? text : L"", text ? ::SysStringLen(text) : 0);
    return true;
}

DWORD currentProcessId(IUIAutomationElement* element) {
    int processId = 0;
    return SUCCEEDED(element->get_CurrentProcessId(&processId)) ? static_cast<DWORD>(processId) : 0;
}

// Walks every child, whatever its control type: the top-level elements that window events
// bring are not all windows either.
ComPtr<IUIAutomationTreeWalker> anyChildWalker(IUIAutomation* automation) {
    ComPtr<IUIAutomationCondition> condition;
    ComPtr<IUIAutomationTreeWalker> walker;
    if (FAILED(automation->CreateTrueCondition(condition.put())) ||
        FAILED(automation->CreateTreeWalker(condition.get(), walker.put())))
        return nullptr;
    return walker;
}

// Walks the children that are windows.
ComPtr<IUIAutomationTreeWalker> windowWalker(IUIAutomation* automation) {
    const Variant windowType(kWindowControlType);
    ComPtr<IUIAutomationCondition> condition;
    ComPtr<IUIAutomationTreeWalker> walker;
    if (FAILED(automation->CreatePropertyConditionEx(kControlTypeProperty, windowType.get(),
                                                     PropertyConditionFlags_None, condition.put())) ||
        FAILED(automation->CreateTreeWalker(condition.get(), walker.put())))
        return nullptr;
    return walker;
}

}  // namespace

ComPtr<IUIAutomation> systemAutomation() {
    ComPtr<IUIAutomation> automation;
    if (FAILED(::CoCreateInstance(kCUIAutomation, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IUIAutomation),
                                  reinterpret_cast<void**>(automation.put()))))
        return nullptr;
    return automation;
}

Monitor::Monitor(ActivityMonitor& listener, AutomationSource automationSource, FrameHostCheck isFrameHost)
    : listener_(&listener), automationSource_(std::move(automationSource)), isFrameHost_(std::move(isFrameHost)) {}

Monitor::~Monitor() = default;

void Monitor::start() {
    if (std::exchange(started_, true)) return;
    ComPtr<IUIAutomation> automation = automationSource_();
    if (!automation) return;
    ComPtr<IUIAutomationElement> root;
    ComPtr<IUIAutomationCacheRequest> cacheRequest;
    if (FAILED(automation->GetRootElement(root.put())) || !root ||
        FAILED(automation->CreateCacheRequest(cacheRequest.put())) || !cacheRequest)
        return;
    for (const PROPERTYID property :
         {kProcessIdProperty, kClassNameProperty, kControlTypeProperty, kWindowVisualStateProperty})
        cacheRequest->AddProperty(property);

    workQueue_ = WorkQueue::start();
    if (!workQueue_) return;
    // Called on a watcher thread, and never once the table's stop has returned: the stop
    // runs on the worker while the monitor is alive.
    processes_ = std::make_unique<ProcessTable>([this](DWORD processId) {
        workQueue_->post([self = ComPtr<Monitor>(this), processId] { self->processExited(processId); });
    });

    const std::lock_guard lock(mutex_);
    // Queued before any event can be: events found by the enumeration are not reported twice,
    // and nothing is reported one by one before the initial list.
    workQueue_->post([self = ComPtr<Monitor>(this), root] { self->initialEnumeration(root); });
    if (FAILED(automation->AddAutomationEventHandler(kWindowOpenedEvent, root.get(), TreeScope_SubTree,
                                                     cacheRequest.get(), this)))
        return;
    if (FAILED(automation->AddAutomationEventHandler(kWindowClosedEvent, root.get(), TreeScope_SubTree,
                                                     cacheRequest.get(), this))) {
        automation->RemoveAllEventHandlers();
        return;
    }
    automation_ = automation;
    cacheRequest_ = cacheRequest;
    windows_ = std::make_unique<WindowTable>(automation);
    processes_->start();
}

void Monitor::stop() {
    if (!workQueue_) return;
    std::future<void> done = workQueue_->post([self = ComPtr<Monitor>(this)] { self->stopOnWorker(); });
    if (done.valid()) done.wait();
}

void Monitor::stopOnWorker() {
    if (automation_) {
        // The watcher's threads own what they use: the table may go as soon as stop returns.
        processes_->stop();
        automation_->RemoveAllEventHandlers();
        automation_.reset();
        cacheRequest_.reset();
        windows_.reset();
        processes_.reset();
    }
    // Also when registration failed, so the worker thread does not wait for ever.
    workQueue_->post([queue = workQueue_.get()] { queue->stopRunning(); });
}

HRESULT STDMETHODCALLTYPE Monitor::HandleAutomationEvent(IUIAutomationElement* sender, EVENTID eventId) {
    return comBoundary([&] {
        if (!sender || (eventId != kWindowOpenedEvent && eventId != kWindowClosedEvent)) return S_OK;
        workQueue_->post([self = ComPtr<Monitor>(this), element = ComPtr<IUIAutomationElement>(sender), eventId] {
            self->windowEvent(element, eventId);
        });
        return S_OK;
    });
}

void Monitor::initialEnumeration(const ComPtr<IUIAutomationElement>& root) {
    const std::lock_guard lock(mutex_);
    if (!automation_) return;
    const ComPtr<IUIAutomationTreeWalker> walker = anyChildWalker(automation_.get());
    if (!walker) return;

    ComPtr<IUIAutomationElement> element;
    if (FAILED(walker->GetFirstChildElementBuildCache(root.get(), cacheRequest_.get(), element.put()))) return;
    while (element) {
        RuntimeId runtimeId;
        if (SUCCEEDED(element->GetRuntimeId(runtimeId.put())) && runtimeId.get())
            windowOpened(element.get(), std::move(runtimeId));
        ComPtr<IUIAutomationElement> next;
        if (FAILED(walker->GetNextSiblingElementBuildCache(element.get(), cacheRequest_.get(), next.put()))) break;
        element = std::move(next);
    }

    initialDone_ = true;
    std::vector<RunningApplicationInfo> list;
    for (const auto& [processId, count] : windowCounts_) {
        if (const ProcessRecord* record = processes_->findProcess(processId))
            list.push_back({processId, record->applicationId, record->applicationName});
    }
    listener_->reportInitial(list);
}

void Monitor::windowEvent(const ComPtr<IUIAutomationElement>& element, EVENTID eventId) {
    if (!automation_) return;
    RuntimeId runtimeId;
    if (FAILED(element->GetRuntimeId(runtimeId.put())) || !runtimeId.get()) return;
    if (eventId == kWindowOpenedEvent) {
        windowOpened(element.get(), std::move(runtimeId));
    } else if (WindowEntry* entry = windows_->find(runtimeId.get())) {
        removeEntry(*entry);
    }
}

void Monitor::windowOpened(IUIAutomationElement* element, RuntimeId runtimeId) {
    if (windows_->find(runtimeId.get())) return;
    int cachedProcessId = 0;
    DWORD processId = cachedInt(element, kProcessIdProperty, cachedProcessId) ? static_cast<DWORD>(cachedProcessId) : 0;
    if (processId == 0) processId = currentProcessId(element);
    if (processId == 0) return;

    std::wstring className;
    const bool frame = cachedString(element, kClassNameProperty, className) && className == kApplicationFrameClass &&
                       isFrameHost_(processId);
    WindowEntry* made = nullptr;
    if (frame) {
        addFrameWindow(element, std::move(runtimeId), processId, made);
    } else {
        addOrdinaryWindow(element, std::move(runtimeId), processId, made);
    }
    if (!made) return;
    if (made->counted()) addWindow(*made->process);
    if (!frame) addHostedWindows(*made);
}

void Monitor::addOrdinaryWindow(IUIAutomationElement* element, RuntimeId runtimeId, DWORD processId,
                                WindowEntry*& made) {
    ProcessRecord& record = processes_->acquireProcess(processId, ProcessKind::Desktop);
    WindowEntry& entry = windows_->insert(std::move(runtimeId), WindowEntry(record, ComPtr(element)));
    attachVisibilityMonitor(entry);
    Variant state;
    BOOL notSupported = TRUE;
    if (SUCCEEDED(element->GetCachedPropertyValueEx(kWindowVisualStateProperty, TRUE, state.put())) &&
        SUCCEEDED(automation_->CheckNotSupported(state.get(), &notSupported)) && !notSupported)
        entry.minimized = V_VT(&state.get()) == VT_I4 && V_I4(&state.get()) == kVisualStateMinimized;
    made = &entry;
}

void Monitor::addFrameWindow(IUIAutomationElement* element, RuntimeId runtimeId, DWORD processId,
                             WindowEntry*& made) {
    const DWORD hosted = hostedProcess(element, processId);
    ProcessRecord& record = hosted != 0 ? processes_->acquireProcess(hosted, ProcessKind::Packaged)
                                        : processes_->acquireProcess(processId, ProcessKind::FrameHost);
    WindowEntry& entry = windows_->insert(std::move(runtimeId), WindowEntry(record, ComPtr(element)));
    attachVisibilityMonitor(entry);
    if (hosted == 0) attachContentMonitor(entry);
    made = &entry;
}

DWORD Monitor::hostedProcess(IUIAutomationElement* frame, DWORD frameProcessId) {
    DWORD hosted = 0;
    forEachChildWindow(frame, [&](IUIAutomationElement* child) {
        const DWORD processId = currentProcessId(child);
        if (processId != 0 && processId != frameProcessId) hosted = processId;
        return hosted == 0;
    });
    return hosted;
}

void Monitor::forEachChildWindow(IUIAutomationElement* parent,
                                 const std::function<bool(IUIAutomationElement* child)>& visit) {
    const ComPtr<IUIAutomationTreeWalker> walker = windowWalker(automation_.get());
    if (!walker) return;
    ComPtr<IUIAutomationElement> child;
    if (FAILED(walker->GetFirstChildElement(parent, child.put()))) return;
    while (child && visit(child.get())) {
        ComPtr<IUIAutomationElement> next;
        if (FAILED(walker->GetNextSiblingElement(child.get(), next.put()))) return;
        child = std::move(next);
    }
}

void Monitor::addHostedWindows(WindowEntry& host) {
    // Windows that appear inside it later come as structure changes.
    attachContentMonitor(host);
    forEachChildWindow(host.element.get(), [&](IUIAutomationElement* child) {
        addHostedWindow(host, child);
        return true;
    });
}

void Monitor::addHostedWindow(WindowEntry& host, IUIAutomationElement* child) {
    const DWORD processId = currentProcessId(child);
    if (processId == 0 || processId == host.process->processId) return;
    RuntimeId runtimeId;
    if (FAILED(child->GetRuntimeId(runtimeId.put())) || !runtimeId.get() || windows_->find(runtimeId.get())) return;
    ProcessRecord& record = processes_->acquireProcess(processId, ProcessKind::Desktop);
    WindowEntry& entry = windows_->insert(std::move(runtimeId), WindowEntry(record, ComPtr(child)));
    entry.host = &host;
    entry.minimized = host.minimized;
    host.hosted.push_back(&entry);
    if (entry.counted()) addWindow(record);
}

void Monitor::attachContentMonitor(WindowEntry& entry) {
    auto content = ComPtr<WindowContentMonitor>::attach(new WindowContentMonitor(entry, *this, workQueue_));
    if (SUCCEEDED(automation_->AddStructureChangedEventHandler(entry.element.get(), TreeScope_Children, nullptr,
                                                               content.get()))) {
        entry.contentMonitor = std::move(content);
    } else {
        content->detach();
    }
}

void Monitor::attachVisibilityMonitor(WindowEntry& entry) {
    auto visibility = ComPtr<WindowVisibilityMonitor>::attach(new WindowVisibilityMonitor(entry, *this, workQueue_));
    PROPERTYID properties[] = {kWindowVisualStateProperty};
    if (SUCCEEDED(automation_->AddPropertyChangedEventHandlerNativeArray(entry.element.get(), TreeScope_Element,
                                                                         nullptr, visibility.get(), properties, 1))) {
        entry.visibilityMonitor = std::move(visibility);
    } else {
        visibility->detach();
    }
}

void Monitor::addWindow(const ProcessRecord& record) {
    std::uint32_t& count = windowCounts_[record.processId];
    if (initialDone_ && count == 0) listener_->reportStarted(record.processId, record.applicationId, record.applicationName);
    ++count;
}

void Monitor::removeWindow(const ProcessRecord& record) {
    const auto found = windowCounts_.find(record.processId);
    if (found == windowCounts_.end()) return;
    if (found->second == 1 && initialDone_) {
        listener_->reportStopped(record.processId, record.applicationId, record.applicationName);
        windowCounts_.erase(found);
    } else if (found->second == 1) {
        // Before the initial list nothing was reported, so the process simply leaves the count.
        windowCounts_.erase(found);
    } else {
        --found->second;
    }
}

void Monitor::removeEntry(WindowEntry& entry) {
    for (WindowEntry* hosted : std::exchange(entry.hosted, {})) removeEntry(*hosted);
    if (entry.host) std::erase(entry.host->hosted, &entry);
    if (entry.counted()) removeWindow(*entry.process);
    if (entry.visibilityMonitor)
        automation_->RemovePropertyChangedEventHandler(entry.element.get(), entry.visibilityMonitor.get());
    if (entry.contentMonitor)
        automation_->RemoveStructureChangedEventHandler(entry.element.get(), entry.contentMonitor.get());
    const ProcessRecord& record = *entry.process;
    detachEntry(entry);
    windows_->erase(entry);
    processes_->releaseProcess(record);
}

void Monitor::visibilityChanged(WindowVisibilityMonitor& handler, int visualState) {
    WindowEntry* entry = handler.entry();
    if (!entry || !automation_) return;
    setMinimized(*entry, visualState == kVisualStateMinimized);
}

void Monitor::setMinimized(WindowEntry& entry, bool minimized) {
    const bool before = entry.counted();
    entry.minimized = minimized;
    const bool after = entry.counted();
    if (before != after) {
        if (after) {
            addWindow(*entry.process);
        } else {
            removeWindow(*entry.process);
        }
    }
    for (WindowEntry* hosted : entry.hosted) setMinimized(*hosted, minimized);
}

void Monitor::contentChanged(WindowContentMonitor& handler, IUIAutomationElement* hosted) {
    WindowEntry* entry = handler.entry();
    if (!entry || !automation_) return;
    if (entry->process->kind != ProcessKind::FrameHost) {
        addHostedWindow(*entry, hosted);
        return;
    }
    const DWORD processId = currentProcessId(hosted);
    if (processId == 0 || processId == entry->process->processId) return;
    ProcessRecord& record = processes_->acquireProcess(processId, ProcessKind::Packaged);
    const ProcessRecord& frameHost = *entry->process;
    entry->process = &record;
    processes_->releaseProcess(frameHost);
    if (entry->counted()) addWindow(record);
    automation_->RemoveStructureChangedEventHandler(entry->element.get(), entry->contentMonitor.get());
    entry->contentMonitor->detach();
    entry->contentMonitor.reset();
}

void Monitor::processExited(DWORD processId) {
    if (!automation_) return;
    for (WindowEntry* entry : windows_->entriesOfProcess(processId)) removeEntry(*entry);
}

namespace {

class MonitorHolder final : public MonitorControl {
public:
    MonitorHolder(ActivityMonitor& listener, AutomationSource automationSource, FrameHostCheck isFrameHost)
        : monitor_(ComPtr<Monitor>::attach(
              new Monitor(listener, std::move(automationSource), std::move(isFrameHost)))) {}
    ~MonitorHolder() override { monitor_->stop(); }

    void start() override { monitor_->start(); }
    void stop() override { monitor_->stop(); }

private:
    ComPtr<Monitor> monitor_;
};

}  // namespace

std::unique_ptr<MonitorControl> makeMonitorControl(ActivityMonitor& listener, AutomationSource automationSource,
                                                   FrameHostCheck isFrameHost) {
    return std::make_unique<MonitorHolder>(listener, std::move(automationSource), std::move(isFrameHost));
}

}  // namespace brisko::UIA
