#pragma once
// The service's side of the AgentApplications interface: registration on the local endpoint,
// the listening thread's body, and stopping.
#include <windows.h>

namespace brisko {

inline constexpr wchar_t kAgentRpcEndpoint[] = L"com.brisko.harbee";

// The authentication step of the registration: RpcServerRegisterAuthInfoW with the principal
// "Harbee Service" and RPC_C_AUTHN_WINNT. Replaceable because Wine without NTLM support
// answers RPC_S_UNKNOWN_AUTHN_SERVICE.
using RegisterAuthentication = long (*)();
long RegisterWindowsAuthentication();
RegisterAuthentication& AgentRpcAuthentication();

// Registers protocol sequence, endpoint, authentication and interface; 0 or the first
// failing RPC status.
long StartAgentRpcServer();
// Body of the listening thread: returns when listening is stopped.
void ListenAgentRpc();
// Asks the listening thread to end; 0 or its RPC status.
long StopAgentRpcServer();
// True once the server listens (the listening thread has entered RpcServerListen).
bool AgentRpcServerListening();
// Takes the interface back after listening ended, so a later start registers it anew.
void UnregisterAgentRpcInterface();

}  // namespace brisko
