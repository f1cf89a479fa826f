#pragma once
// What the runner tells the service control manager about its service, worked out from the
// options without calling it.
#include <windows.h>

#include <cstddef>

struct Pool;

// The first character not allowed in a service name (below 0x1E, or one of < > : " / \ | ? *),
// or 0 when every character is allowed.
wchar_t invalidServiceNameCharacter(const wchar_t* name);

// The executable, quoted when it holds a space, then " //RS//" and the name (quoted the same way).
BOOL buildImagePath(const wchar_t* executable, const wchar_t* serviceName, wchar_t* out, size_t chars);

// The DependsOn entries followed by "Tcpip", as a packed list in the pool.
wchar_t* buildDependencies(Pool* pool, const wchar_t* dependsOn);

// Own process, with the interactive bit for "interactive".
DWORD serviceTypeFor(const wchar_t* type);
// Automatic for "auto", otherwise on demand.
DWORD installStartType(const wchar_t* startup);
// Automatic for "auto", on demand for "manual", otherwise SERVICE_NO_CHANGE.
DWORD updateStartType(const wchar_t* startup);

// Restart the service 5 s after a failure; the failure count resets after a day.
void fillRestartOnFailure(SERVICE_FAILURE_ACTIONSW* actions, SC_ACTION* restart);

// How long to sleep between looks at a pending service: a tenth of its wait hint, within 1..10 s.
DWORD pendingPollMs(DWORD waitHint);
