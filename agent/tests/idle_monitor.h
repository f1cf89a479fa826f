#pragma once
// A window monitor that sees no application: for agent tests that are not about them.
#include <memory>

#include "uia/activity_listener.h"

namespace brisko::testing {

inline UIA::MonitorFactory idleMonitor() {
    struct Idle final : UIA::MonitorControl {
        void start() override {}
        void stop() override {}
    };
    return [](UIA::ActivityMonitor&) { return std::make_unique<Idle>(); };
}

}  // namespace brisko::testing
