#pragma once
// Registry lookups outside the runner's own keys: the installed Java, the system's service kill
// timeout, and a service's description and account as the service control manager keeps them.
#include <windows.h>

// JAVA_HOME wins unless the runtime is insisted on; otherwise the registry entry of the
// development kit (or of the runtime), which then becomes JAVA_HOME. A main-pool copy, or null.
wchar_t* findJavaHome(BOOL insistOnRuntime);
// The JVM library the installed Java runtime names, or null.
wchar_t* findRuntimeLib();
// Milliseconds; 20000 when the system does not say.
DWORD readKillServiceTimeout();
// The milliseconds the service manager waits for the service after its pre-shutdown notice, as
// the service's key holds them (PreshutdownTimeout); the fallback when it holds none.
DWORD readPreshutdownTimeout(const wchar_t* serviceName, DWORD fallbackMs);

// The services and groups (as "+" and the group) the service depends on, as the manager keeps them
// in the service's key: a packed list in the main pool (empty when there are none), or null.
wchar_t* readServiceDependencies(const wchar_t* serviceName);

BOOL readServiceDescription(const wchar_t* serviceName, wchar_t* out, DWORD bytes);
BOOL readServiceAccount(const wchar_t* serviceName, wchar_t* out, DWORD bytes);
