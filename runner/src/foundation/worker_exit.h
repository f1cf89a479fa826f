#pragma once
// The exit code of the worker: the hosted JVM's (its exit hook, or 1 after a start call that threw)
// or the child process's. The service reports it when it stops.
#include <windows.h>

inline volatile LONG WorkerExitCode = 0;

inline void setWorkerExitCode(LONG code) { ::InterlockedExchange(&WorkerExitCode, code); }
inline LONG processExitCode() { return ::InterlockedCompareExchange(&WorkerExitCode, 0, 0); }
