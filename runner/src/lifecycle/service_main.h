#pragma once
// The life of a running service: its status, the start and stop of its worker, and the
// handlers of the service control manager and of the console.
#include <windows.h>

#include "foundation/pool.h"

void WINAPI ServiceMain(DWORD argc, wchar_t** argv);
// 0, or the failure code 1 to 5.
int ServiceStart();
// A StopReason. Only the first of any number of requests stops the service; a shutdown also holds
// a stop under way to its time. Callers ignore the result.
DWORD ServiceStop(int reason);

// Outside the service control manager the status is only logged.
BOOL reportServiceStatusE(DWORD state, DWORD win32ExitCode, DWORD waitHint, DWORD serviceExitCode);
// A non-zero code is reported as a service-specific error.
void reportServiceStopped(DWORD exitCode);

DWORD WINAPI serviceControlHandler(DWORD control, DWORD eventType, void* eventData, void* context);
BOOL WINAPI consoleHandler(DWORD event);

// The worker's own wait (Java worker or child process); 0x80 for any other handle.
DWORD waitHandle(Handle* handle, DWORD timeoutMs, BOOL kill);
