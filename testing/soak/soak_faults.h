#pragma once
// The faults the soak injects besides stopping and starting the service. Each answers whether
// it was carried out; surviving it is judged by what the product does afterwards.
#include <string>

#include "desktop_session.h"

namespace brisko::soak {

// The named event of the demo core's relisten-event parameter.
constexpr wchar_t kRelistenEvent[] = L"Global\\HarbeeSoakRelisten";

// Ends the agent's process as a crash would: with TerminateProcess where the soak's user may
// (the agent is protected from its user, and Wine keeps that too), else through the fake
// desktop's "crash" command.
bool killAgent(testing::DesktopControl& desktop);

// Asks the demo core to close its listener and its agent's connection for a while.
bool closeCoreListener();

// A puppet agent that is none: garbage and an oversized frame to the core's port, and an
// oversized application list and report to the service's RPC endpoint, which must refuse them
// (this process is no agent the service launched). `what` tells how each was answered.
bool sendGarbage(std::string& what);

}  // namespace brisko::soak
