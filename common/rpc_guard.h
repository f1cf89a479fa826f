#pragma once
// The guard for calls of an RPC client: it takes the exceptions that the RPC runtime's filter
// (RpcExceptionFilter) hands to the caller, the RPC failures, and leaves every other one
// (an access violation, a stack overflow...) to go on as raised.
#include <rpc.h>

#include <utility>

#include "seh_guard.h"

namespace brisko {

inline int AcceptRpcException(const EXCEPTION_RECORD* exception) {
    return ::I_RpcExceptionFilter(exception->ExceptionCode) == EXCEPTION_EXECUTE_HANDLER;
}

// The code of the RPC exception that the call raised, or 0.
template <typename Call>
DWORD RunRpcCall(Call&& call) {
    return RunGuarded(std::forward<Call>(call), &AcceptRpcException);
}

}  // namespace brisko
