#pragma once
// Who is calling: the caller's process id inside an RPC server routine, and the gate's
// decision on it.
#include <windows.h>

#include <functional>

namespace brisko {

// The calling process's id, or -1 when it cannot be learned. Asks for the call attributes
// first; where that query fails or raises (Wine has no implementation), asks the local
// transport directly.
long QueryCallerProcessId();

// RPC_S_OK for a caller that is one of the supervised agents, else RPC_S_ACCESS_DENIED.
long AdmitCaller(long processId, const std::function<bool(DWORD processId)>& isSupervisedAgent);

}  // namespace brisko
