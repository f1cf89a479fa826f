#pragma once
// The security the agent asks of its binding to the service: Windows authentication at packet
// privacy, and mutual authentication naming LocalSystem as the server, so that the runtime refuses
// to call a program of any other account that holds the endpoint. Where the platform offers no
// Windows authentication (Wine answers "unknown authentication service" on both sides), the
// binding stays as it is: the rule the service applies to its own registration.
#include <windows.h>

#include <rpc.h>

namespace brisko {

// The parameters of RpcBindingSetAuthInfoExW, with the SID they point to.
struct BindingSecurity {
    BindingSecurity();
    BindingSecurity(const BindingSecurity&) = delete;
    BindingSecurity& operator=(const BindingSecurity&) = delete;

    RPC_WSTR serverPrincipal = nullptr;  // the server is named by its SID instead
    unsigned long level = RPC_C_AUTHN_LEVEL_PKT_PRIVACY;
    unsigned long service = RPC_C_AUTHN_WINNT;
    RPC_AUTH_IDENTITY_HANDLE identity = nullptr;  // the agent's own account
    unsigned long authorization = RPC_C_AUTHZ_NONE;
    BYTE localSystem[SECURITY_MAX_SID_SIZE] = {};
    RPC_SECURITY_QOS_V3_W quality{};
};

enum class BindingAuthentication { Authenticated, NotOffered, Failed };

using SetAuthInfo = RPC_STATUS(RPC_ENTRY*)(RPC_BINDING_HANDLE, RPC_WSTR, unsigned long, unsigned long,
                                           RPC_AUTH_IDENTITY_HANDLE, unsigned long, RPC_SECURITY_QOS*);

// Failed: the binding must not be used (the agent then treats the service as unreachable).
BindingAuthentication authenticateBinding(RPC_BINDING_HANDLE binding, SetAuthInfo setAuthInfo = &::RpcBindingSetAuthInfoExW);

}  // namespace brisko
