#include "uia/window_monitors.h"

#include "callback_boundary.h"
#include "uia/uia_monitor.h"
#include "uia/window_table.h"

namespace brisko::UIA {

WindowVisibilityMonitor::WindowVisibilityMonitor(WindowEntry& entry, Monitor& monitor,
                                                 std::shared_ptr<WorkQueue> workQueue)
    : entry_(&entry), monitor_(&monitor), workQueue_(std::move(workQueue)) {
    monitor_->AddRef();
}

WindowVisibilityMonitor::~WindowVisibilityMonitor() { monitor_->Release(); }

HRESULT STDMETHODCALLTYPE WindowVisibilityMonitor::HandlePropertyChangedEvent(IUIAutomationElement*,
                                                                              PROPERTYID propertyId,
                                                                              VARIANT newValue) {
    return comBoundary([&] {
        if (propertyId != kWindowVisualStateProperty || !workQueue_) return S_OK;
        VARIANT state;
        ::VariantInit(&state);
        if (FAILED(::VariantChangeType(&state, &newValue, 0, VT_I4))) return S_OK;
        workQueue_->post([self = ComPtr<WindowVisibilityMonitor>(this), value = V_I4(&state)] {
            self->monitor_->visibilityChanged(*self, value);
        });
        return S_OK;
    });
}

WindowContentMonitor::WindowContentMonitor(WindowEntry& entry, Monitor& monitor, std::shared_ptr<WorkQueue> workQueue)
    : entry_(&entry), monitor_(&monitor), workQueue_(std::move(workQueue)) {
    monitor_->AddRef();
}

WindowContentMonitor::~WindowContentMonitor() { monitor_->Release(); }

HRESULT STDMETHODCALLTYPE WindowContentMonitor::HandleStructureChangedEvent(IUIAutomationElement* sender,
                                                                            enum StructureChangeType changeType,
                                                                            SAFEARRAY*) {
    return comBoundary([&] {
        if (changeType != StructureChangeType_ChildAdded || !sender || !workQueue_) return S_OK;
        CONTROLTYPEID controlType = 0;
        if (FAILED(sender->get_CurrentControlType(&controlType)) || controlType != kWindowControlType) return S_OK;
        workQueue_->post([self = ComPtr<WindowContentMonitor>(this), element = ComPtr<IUIAutomationElement>(sender)] {
            self->monitor_->contentChanged(*self, element.get());
        });
        return S_OK;
    });
}

void detachEntry(WindowEntry& entry) {
    if (entry.visibilityMonitor) entry.visibilityMonitor->detach();
    if (entry.contentMonitor) entry.contentMonitor->detach();
    entry.visibilityMonitor.reset();
    entry.contentMonitor.reset();
    entry.element.reset();
}

}  // namespace brisko::UIA
