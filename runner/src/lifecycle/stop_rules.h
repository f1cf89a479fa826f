#pragma once
// The decisions of starting and stopping that need no system: modes, names and time-outs.
#include <windows.h>

#include <cstddef>

// "jvm" and "java" (any case) name those modes; anything else non-empty is an executable. An
// empty text is the executable mode for starting and no stop at all for stopping.
int workerModeFor(const wchar_t* text, BOOL forStop);

// "Global\" + name + "SIGNAL", the part after "Global\" upper-cased with spaces as "_".
BOOL buildSignalEventName(const wchar_t* serviceName, wchar_t* out, size_t chars);

// How long the stop waits for the worker, in ms: StopTimeout seconds, where a value outside 0 to
// LargestStopTimeoutSeconds counts as the default 0; 0 after a stop call becomes five minutes; a
// shutdown never waits longer than the system's kill timeout.
DWORD finalStopTimeout(LONG stopTimeoutSeconds, BOOL stopRan, int reason, DWORD killTimeoutMs);

// At most one thread dump every ThreadDumpIntervalMs, however often the signal comes; a last
// dump at tick 0 is none.
constexpr DWORD ThreadDumpIntervalMs = 10000;
BOOL threadDumpDue(ULONGLONG lastDumpTick, ULONGLONG nowTick);

// The wanted wait, or what is left before the deadline when that is less (0 once it has
// passed). A deadline of 0 is none.
DWORD timeLeftBefore(ULONGLONG deadlineTick, ULONGLONG nowTick, DWORD wantedMs);
