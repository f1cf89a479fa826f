#pragma once
// The guards for RPC calls. Each takes the RPC failures a call may raise and leaves every other
// exception (an access violation, a stack overflow...) to go on as raised.
#include <rpc.h>

#include <utility>

#include "seh_guard.h"

namespace brisko {

// A client's calls: what the RPC runtime's filter (RpcExceptionFilter) hands to the caller.
inline int AcceptRpcException(const EXCEPTION_RECORD* exception) {
    return ::I_RpcExceptionFilter(exception->ExceptionCode) == EXCEPTION_EXECUTE_HANDLER;
}

// The code of the RPC exception that the call raised, or 0.
template <typename Call>
DWORD RunRpcCall(Call&& call) {
    return RunGuarded(std::forward<Call>(call), &AcceptRpcException);
}

// Wine raises this code from an RPC call it does not implement (RpcServerInqCallAttributesW).
inline constexpr DWORD kWineUnimplementedCall = 0x80000100;

// Calls of the runtime inside a server routine take less: an RPC status, raised as its Win32
// error code (below 0x10000), or Wine's unimplemented-call code. Every system exception has a
// code from 0x80000000 up, and one on an RPC thread must not be swallowed.
inline int AcceptRpcStatus(const EXCEPTION_RECORD* exception) {
    const DWORD code = exception->ExceptionCode;
    return code == kWineUnimplementedCall || (code != 0 && code <= 0xFFFF);
}

template <typename Call>
DWORD RunRpcServerCall(Call&& call) {
    return RunGuarded(std::forward<Call>(call), &AcceptRpcStatus);
}

}  // namespace brisko
