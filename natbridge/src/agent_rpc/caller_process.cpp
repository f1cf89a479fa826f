#include "agent_rpc/caller_process.h"

#include <rpc.h>
#include <rpcasync.h>
#include <rpcdcep.h>

#include <atomic>

#include "rpc_guard.h"

namespace brisko {

namespace {

// Version 3 of the call attributes and its query flags; mingw-w64 declares none of them.
constexpr unsigned long kQueryClientPid = 0x10;
constexpr unsigned long kQueryIsClientLocal = 0x20;

struct CallAttributesV3 {
    unsigned int Version;
    unsigned long Flags;
    unsigned long ServerPrincipalNameBufferLength;
    unsigned short* ServerPrincipalName;
    unsigned long ClientPrincipalNameBufferLength;
    unsigned short* ClientPrincipalName;
    unsigned long AuthenticationLevel;
    unsigned long AuthenticationService;
    BOOL NullSession;
    BOOL KernelModeCaller;
    unsigned long ProtocolSequence;
    RpcCallClientLocality IsClientLocal;
    HANDLE ClientPID;
    unsigned long CallStatus;
    RpcCallType CallType;
    RPC_CALL_LOCAL_ADDRESS_V1* CallLocalAddress;
    unsigned short OpNum;
    UUID InterfaceUuid;
    unsigned long ClientIdentifierBufferLength;
    unsigned char* ClientIdentifier;
};

// Set once the query raised that it is not implemented: a runtime without it (Wine) is not
// asked again.
std::atomic<bool> attributesUnavailable = false;

long FromCallAttributes() {
    if (attributesUnavailable) return -1;
    CallAttributesV3 attributes{};
    attributes.Version = 3;
    attributes.Flags = kQueryClientPid | kQueryIsClientLocal;
    RPC_STATUS status = RPC_S_INTERNAL_ERROR;
    if (const DWORD raised = RunRpcServerCall([&] { status = ::RpcServerInqCallAttributesW(nullptr, &attributes); });
        raised != 0) {
        if (raised == kWineUnimplementedCall) attributesUnavailable = true;
        return -1;
    }
    if (status != RPC_S_OK) return -1;
    return static_cast<long>(reinterpret_cast<ULONG_PTR>(attributes.ClientPID));
}

long FromLocalTransport() {
    unsigned long processId = 0;
    RPC_STATUS status = RPC_S_INTERNAL_ERROR;
    if (RunRpcServerCall([&] { status = ::I_RpcBindingInqLocalClientPID(nullptr, &processId); }) != 0) return -1;
    if (status != RPC_S_OK) return -1;
    return static_cast<long>(processId);
}

}  // namespace

long QueryCallerProcessId() {
    const long processId = FromCallAttributes();
    return processId > 0 ? processId : FromLocalTransport();
}

long AdmitCaller(long processId, const std::function<bool(DWORD processId)>& isSupervisedAgent) {
    if (processId <= 0) return RPC_S_ACCESS_DENIED;
    return isSupervisedAgent(static_cast<DWORD>(processId)) ? RPC_S_OK : RPC_S_ACCESS_DENIED;
}

}  // namespace brisko
