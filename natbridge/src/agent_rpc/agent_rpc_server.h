#pragma once
// The service's side of the AgentApplications interface: registration on the local endpoint,
// the listening thread's body, and stopping.
#include <windows.h>

namespace brisko {

inline constexpr wchar_t kAgentRpcEndpoint[] = L"com.brisko.harbee";

// The authentication step of the registration: RpcServerRegisterAuthInfoW with the principal
// "Harbee Service" and RPC_C_AUTHN_WINNT. Replaceable so that tests can give any answer.
using RegisterAuthentication = long (*)();
long RegisterWindowsAuthentication();
RegisterAuthentication& AgentRpcAuthentication();

// What the authentication step's answer means for the interface registration: go on with these
// RpcServerRegisterIf2 flags, or fail the start with that answer.
struct InterfaceRegistration {
    bool proceed;
    unsigned int flags;
};
InterfaceRegistration AgentRpcRegistrationAfter(long authenticationStatus);

// Registers protocol sequence, endpoint, authentication and interface; 0 or the first
// failing RPC status (an unknown authentication service is no failure: see above).
long StartAgentRpcServer();
// Starts listening and returns once the server listens; 0 or its RPC status.
long StartAgentRpcListening();
// Body of the listening thread: returns when listening is stopped.
void ListenAgentRpc();
// Asks the listening thread to end; 0 or its RPC status.
long StopAgentRpcServer();
// Takes the interface back after listening ended, so a later start registers it anew.
void UnregisterAgentRpcInterface();

}  // namespace brisko
