#include "agent_rpc/agent_rpc_server.h"

#include <AgentApplications.h>

#include <algorithm>
#include <atomic>
#include <iterator>

#include "agent_manager/agent_manager.h"
#include "agent_rpc/caller_process.h"
#include "agent_rpc/request_limits.h"

namespace brisko {

namespace {

constexpr unsigned int kMaxCalls = 1234;

RPC_STATUS RPC_ENTRY AdmitSupervisedAgents(RPC_IF_HANDLE, void*) {
    return AdmitCaller(QueryCallerProcessId(), [](DWORD processId) { return FindSupervisedAgent(processId, nullptr); });
}

const RPC_SERVER_INTERFACE& GeneratedInterface() {
    return *static_cast<const RPC_SERVER_INTERFACE*>(AgentApplications_v1_0_s_ifspec);
}

// OpenApplicationList's stub reads `count` and the array's size from the wire separately and
// never compares them, so the procedure would walk `count` elements of an array of another
// size. The request is checked here, before the stub unmarshals (and allocates) anything; it is
// refused from this frame, where no C++ object is alive.
void __RPC_STUB DispatchOpenApplicationList(PRPC_MESSAGE message) {
    const long status = CheckOpenRequest(static_cast<const unsigned char*>(message->Buffer), message->BufferLength,
                                         message->DataRepresentation);
    if (status != RPC_S_OK) ::RpcRaiseException(status);
    GeneratedInterface().DispatchTable->DispatchTable[0](message);
}

// The generated interface with the checked dispatch of operation 0; the stubs are unchanged.
RPC_IF_HANDLE CheckedInterface() {
    static RPC_DISPATCH_FUNCTION functions[4];
    static RPC_DISPATCH_TABLE table{};
    static RPC_SERVER_INTERFACE checked = [] {
        const RPC_DISPATCH_TABLE& generated = *GeneratedInterface().DispatchTable;
        std::copy_n(generated.DispatchTable, std::size(functions), functions);
        functions[0] = DispatchOpenApplicationList;
        table = {static_cast<unsigned int>(std::size(functions)), functions, generated.Reserved};
        RPC_SERVER_INTERFACE copy = GeneratedInterface();
        copy.DispatchTable = &table;
        return copy;
    }();
    return &checked;
}

}  // namespace

long RegisterWindowsAuthentication() {
    wchar_t principal[] = L"Harbee Service";
    return ::RpcServerRegisterAuthInfoW(reinterpret_cast<RPC_WSTR>(principal), RPC_C_AUTHN_WINNT, nullptr, nullptr);
}

InterfaceRegistration AgentRpcRegistrationAfter(long authenticationStatus) {
    if (authenticationStatus == RPC_S_OK) return {true, RPC_IF_ALLOW_LOCAL_ONLY | RPC_IF_ALLOW_SECURE_ONLY};
    // A system without WINNT authentication (Wine without NTLM) answers "unknown authentication
    // service". No caller could then be secure, so secure-only would refuse every agent; without
    // it the server still admits only agents it launched, because the security callback and every
    // procedure identify the caller by its process id.
    if (authenticationStatus == RPC_S_UNKNOWN_AUTHN_SERVICE) return {true, RPC_IF_ALLOW_LOCAL_ONLY};
    return {false, 0};
}

RegisterAuthentication& AgentRpcAuthentication() {
    static RegisterAuthentication registration = RegisterWindowsAuthentication;
    return registration;
}

long StartAgentRpcServer() {
    // An endpoint stays with the process for its life (nothing takes it back): a later start
    // in the same process uses it again instead of registering a second one.
    static std::atomic<bool> endpointRegistered = false;
    if (!endpointRegistered) {
        wchar_t protocol[] = L"ncalrpc";
        wchar_t endpoint[sizeof(kAgentRpcEndpoint) / sizeof(wchar_t)];
        ::lstrcpyW(endpoint, kAgentRpcEndpoint);
        const RPC_STATUS status = ::RpcServerUseProtseqEpW(reinterpret_cast<RPC_WSTR>(protocol),
                                                           RPC_C_PROTSEQ_MAX_REQS_DEFAULT,
                                                           reinterpret_cast<RPC_WSTR>(endpoint), nullptr);
        if (status != RPC_S_OK) return status;
        endpointRegistered = true;
    }
    const RPC_STATUS authentication = AgentRpcAuthentication()();
    const InterfaceRegistration registration = AgentRpcRegistrationAfter(authentication);
    if (!registration.proceed) return authentication;

    return ::RpcServerRegisterIf2(CheckedInterface(), nullptr, nullptr, registration.flags, kMaxCalls,
                                  static_cast<unsigned int>(-1), AdmitSupervisedAgents);
}

// Listening starts on the caller's thread and RpcServerListen returns only once the server
// listens: RpcMgmtIsServerListening already answers yes while it is still starting, and a stop
// in that moment never returns under Wine.
long StartAgentRpcListening() { return ::RpcServerListen(1, kMaxCalls, TRUE); }

void ListenAgentRpc() { ::RpcMgmtWaitServerListen(); }

long StopAgentRpcServer() { return ::RpcMgmtStopServerListening(nullptr); }

void UnregisterAgentRpcInterface() { ::RpcServerUnregisterIf(CheckedInterface(), nullptr, FALSE); }

}  // namespace brisko
