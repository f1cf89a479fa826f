#pragma once
// Handlers attached to single windows: the visibility monitor follows a window's visual state,
// the content monitor waits for the application an application frame hosts. UI Automation
// calls them on its own threads; they only post work to the monitor's queue.
#include <memory>

#include "com_ptr.h"
#include "uia/com_class.h"
#include "uia/uia_interfaces.h"
#include "uia/work_queue.h"

namespace brisko::UIA {

class Monitor;
struct WindowEntry;

class WindowVisibilityMonitor final : public ComClass<IUIAutomationPropertyChangedEventHandler> {
public:
    WindowVisibilityMonitor(WindowEntry& entry, Monitor& monitor, std::shared_ptr<WorkQueue> workQueue);

    HRESULT STDMETHODCALLTYPE HandlePropertyChangedEvent(IUIAutomationElement* sender, PROPERTYID propertyId,
                                                         VARIANT newValue) override;

    // Worker thread only: the entry, or null once detached.
    WindowEntry* entry() const { return entry_; }
    void detach() { entry_ = nullptr; }

private:
    ~WindowVisibilityMonitor() override;

    WindowEntry* entry_;
    Monitor* monitor_;  // holds a reference
    std::shared_ptr<WorkQueue> workQueue_;
};

class WindowContentMonitor final : public ComClass<IUIAutomationStructureChangedEventHandler> {
public:
    WindowContentMonitor(WindowEntry& entry, Monitor& monitor, std::shared_ptr<WorkQueue> workQueue);

    HRESULT STDMETHODCALLTYPE HandleStructureChangedEvent(IUIAutomationElement* sender,
                                                          enum StructureChangeType changeType,
                                                          SAFEARRAY* runtimeId) override;

    WindowEntry* entry() const { return entry_; }
    void detach() { entry_ = nullptr; }

private:
    ~WindowContentMonitor() override;

    WindowEntry* entry_;
    Monitor* monitor_;  // holds a reference
    std::shared_ptr<WorkQueue> workQueue_;
};

}  // namespace brisko::UIA
