#pragma once
// The service's local RPC endpoint, and a plain binding to it: the agent resolves and
// authenticates its binding after this; the benchmarks' and the soak's stand-ins call as is.
#include <windows.h>

#include <rpc.h>

#include "unique_handle.h"

namespace brisko {

inline constexpr wchar_t kServiceEndpoint[] = L"com.brisko.harbee";

// Binds ncalrpc:[com.brisko.harbee]; the RPC status, binding set only on RPC_S_OK.
RPC_STATUS bindServiceEndpoint(UniqueRpcBinding& binding);

}  // namespace brisko
