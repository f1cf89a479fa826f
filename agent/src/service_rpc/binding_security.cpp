#include "service_rpc/binding_security.h"

namespace brisko {

BindingSecurity::BindingSecurity() {
    DWORD size = sizeof localSystem;
    ::CreateWellKnownSid(WinLocalSystemSid, nullptr, localSystem, &size);
    quality.Version = RPC_C_SECURITY_QOS_VERSION_3;
    quality.Capabilities = RPC_C_QOS_CAPABILITIES_MUTUAL_AUTH;
    quality.IdentityTracking = RPC_C_QOS_IDENTITY_STATIC;
    // The service only learns who calls; it never acts as the agent's user.
    quality.ImpersonationType = RPC_C_IMP_LEVEL_IDENTIFY;
    quality.Sid = localSystem;
}

BindingAuthentication authenticateBinding(RPC_BINDING_HANDLE binding, SetAuthInfo setAuthInfo) {
    BindingSecurity security;
    const RPC_STATUS status =
        setAuthInfo(binding, security.serverPrincipal, security.level, security.service, security.identity,
                    security.authorization, reinterpret_cast<RPC_SECURITY_QOS*>(&security.quality));
    if (status == RPC_S_OK) return BindingAuthentication::Authenticated;
    if (status == RPC_S_UNKNOWN_AUTHN_SERVICE) return BindingAuthentication::NotOffered;
    return BindingAuthentication::Failed;
}

}  // namespace brisko
