#pragma once
// Running the service: under the service control manager ("service") or in this console ("run").
// One process-wide record holds the state of the run.
#include <windows.h>

#include "foundation/pool.h"
#include "java/java_worker.h"
#include "options/cmdline.h"

enum WorkerMode { WORKER_MODE_NONE = 0, WORKER_MODE_JVM, WORKER_MODE_JAVA, WORKER_MODE_EXE };

// A stop request's reason; the pre-shutdown notice has the control's own value.
enum StopReason { STOP_REASON_STOP = 1, STOP_REASON_SHUTDOWN = 5, STOP_REASON_PRESHUTDOWN = 15 };

struct ServiceRunState {
    BOOL runningAsService;
    const wchar_t* serviceName;
    SERVICE_STATUS_HANDLE statusHandle;
    SERVICE_STATUS status;
    volatile LONG checkPointCounter;
    int startMode;
    int stopMode;
    // The start worker: a JavaHandle or a ProcessHandle (rules below).
    Handle* worker;
    // Manual reset; signalled once the stop has done all it will do.
    HANDLE shutdownEvent;
    HANDLE signalEvent;
    HANDLE signalThread;
    volatile LONG dumpEnabled;
    wchar_t* pidFile;
    HANDLE pidFileHandle;
    int runResult;
    // The executable's directory: where a jvm-mode worker runs when no StartPath is given.
    const wchar_t* defaultWorkingDirectory;
    // Who claimed the stop (below): 0 nobody yet, a StopReason, or STOP_CLAIMED_BY_MAIN.
    volatile LONG stopClaim;
    // The tick count by which the whole stop must be over; 0 for none.
    volatile LONGLONG stopDeadline;
    // The Java settings both calls share, and each call's own.
    const wchar_t* jvmPath;
    JavaWorkerParams startCall;
    JavaWorkerParams stopCall;
};
extern ServiceRunState RunState;

// The fields several threads use change only through these functions, by these rules:
// - worker: set by ServiceStart before a stop can be asked for (the handlers accept one only once
//   the service runs); closed only by ServiceMain, once no stop uses it any more.
// - stopClaim: taken once, with an interlocked compare-exchange, by the first stop request or by
//   ServiceMain when the worker ended by itself. Only the claimant runs the stop; every later
//   request finds it taken.
// - stopDeadline: only ever moved earlier (a compare-exchange loop), so any thread may read it.
// - shutdownEvent: made when the run begins, signalled by the stop when it is over.
constexpr LONG STOP_CLAIMED_BY_MAIN = -1;
// TRUE for the one caller that takes the stop.
BOOL claimStop(LONG claimant);
BOOL stopIsClaimed();
// A stop request (not the end of the worker) took the stop.
BOOL stopWasRequested();
// The whole stop must be over within this many ms from now (or earlier, if already so).
void shortenStopDeadline(DWORD withinMs);
// The wanted wait, or less when the deadline comes first.
DWORD withinStopDeadline(DWORD wantedMs);
// The stop has done all it will do.
void finishStop();

BOOL runAsConsole(CommandLine* commandLine);
BOOL runAsService(CommandLine* commandLine);
