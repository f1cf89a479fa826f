#pragma once
// Where an agent of a test finds the test core that the test process itself hosts: that
// process's socket is the core's, as the launcher's is for the shipped agent.
#include <windows.h>

#include <cstdint>

#include "agent.h"

namespace brisko::testing {

inline CoreEndpoint testCoreEndpoint(uint16_t port, double retryInterval = 10.0) {
    return CoreEndpoint{"127.0.0.1", port, retryInterval, launcherOwnsPeer(::GetCurrentProcessId())};
}

}  // namespace brisko::testing
