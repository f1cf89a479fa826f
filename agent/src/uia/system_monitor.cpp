// The shipped agent's window monitor, over the system's UI Automation. Alone in its file so
// that a test program defining createMonitor itself never links this one.
#include "uia/uia_monitor.h"

namespace brisko::UIA {

std::unique_ptr<MonitorControl> createMonitor(ActivityMonitor& listener) {
    return makeMonitorControl(listener, &systemAutomation);
}

}  // namespace brisko::UIA
