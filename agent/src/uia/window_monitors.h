#pragma once
// Handlers attached to single windows: the visibility monitor follows a window's visual state,
// the content monitor waits for the application an application frame hosts. UI Automation
// calls them on its own threads; they only post work to the monitor's queue.
#include <memory>
#include <utility>

#include "com_ptr.h"
#include "uia/com_class.h"
#include "uia/uia_interfaces.h"
#include "uia/work_queue.h"

namespace brisko::UIA {

class Monitor;
struct WindowEntry;

// What both handlers are: a COM object over one handler interface that belongs to one window
// entry until detached, and holds a reference to the monitor its tasks go to.
template <typename Interface>
class WindowHandler : public ComClass<Interface> {
public:
    // Created with one reference, the creator's; it holds one of the monitor's.
    WindowHandler(WindowEntry& entry, Monitor& monitor, std::shared_ptr<WorkQueue> workQueue);

    // Worker thread only: the entry, or null once detached.
    WindowEntry* entry() const { return entry_; }
    void detach() { entry_ = nullptr; }

protected:
    ~WindowHandler() override;

    // The monitor's worker runs the task with this handler and its monitor, holding the handler
    // until it has run. Nothing is posted once the handler has no queue.
    template <typename Handler, typename Task>
    void post(Handler* self, Task task) {
        if (!workQueue_) return;
        workQueue_->post([self = ComPtr<Handler>(self), task = std::move(task)] { task(*self->monitor_, *self); });
    }
    bool posting() const { return workQueue_ != nullptr; }

private:
    WindowEntry* entry_;
    Monitor* monitor_;  // holds a reference
    std::shared_ptr<WorkQueue> workQueue_;
};

class WindowVisibilityMonitor final : public WindowHandler<IUIAutomationPropertyChangedEventHandler> {
public:
    using WindowHandler::WindowHandler;

    HRESULT STDMETHODCALLTYPE HandlePropertyChangedEvent(IUIAutomationElement* sender, PROPERTYID propertyId,
                                                         VARIANT newValue) override;

private:
    ~WindowVisibilityMonitor() override = default;
};

class WindowContentMonitor final : public WindowHandler<IUIAutomationStructureChangedEventHandler> {
public:
    using WindowHandler::WindowHandler;

    HRESULT STDMETHODCALLTYPE HandleStructureChangedEvent(IUIAutomationElement* sender,
                                                          enum StructureChangeType changeType,
                                                          SAFEARRAY* runtimeId) override;

private:
    ~WindowContentMonitor() override = default;
};

}  // namespace brisko::UIA
