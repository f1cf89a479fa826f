#include "uia/window_monitors.h"

#include "callback_boundary.h"
#include "uia/uia_monitor.h"
#include "uia/window_table.h"

namespace brisko::UIA {

template <typename Interface>
WindowHandler<Interface>::WindowHandler(WindowEntry& entry, Monitor& monitor, std::shared_ptr<WorkQueue> workQueue)
    : entry_(&entry), monitor_(&monitor), workQueue_(std::move(workQueue)) {
    monitor_->AddRef();
}

template <typename Interface>
WindowHandler<Interface>::~WindowHandler() {
    monitor_->Release();
}

template class WindowHandler<IUIAutomationPropertyChangedEventHandler>;
template class WindowHandler<IUIAutomationStructureChangedEventHandler>;

HRESULT STDMETHODCALLTYPE WindowVisibilityMonitor::HandlePropertyChangedEvent(IUIAutomationElement*,
                                                                              PROPERTYID propertyId,
                                                                              VARIANT newValue) {
    return comBoundary([&] {
        if (propertyId != kWindowVisualStateProperty || !posting()) return S_OK;
        Variant state;
        if (FAILED(::VariantChangeType(state.put(), &newValue, 0, VT_I4))) return S_OK;
        post(this, [value = V_I4(&state.get())](Monitor& monitor, WindowVisibilityMonitor& self) {
            monitor.visibilityChanged(self, value);
        });
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE WindowContentMonitor::HandleStructureChangedEvent(IUIAutomationElement* sender,
                                                                            enum StructureChangeType changeType,
                                                                            SAFEARRAY*) {
    return comBoundary([&] {
        if (changeType != StructureChangeType_ChildAdded || !sender || !posting()) return S_OK;
        CONTROLTYPEID controlType = 0;
        if (FAILED(sender->get_CurrentControlType(&controlType)) || controlType != kWindowControlType) return S_OK;
        post(this, [element = ComPtr<IUIAutomationElement>(sender)](Monitor& monitor, WindowContentMonitor& self) {
            monitor.contentChanged(self, element.get());
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
