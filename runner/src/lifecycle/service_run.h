#pragma once
// Running the service: under the service control manager ("service") or in this console ("run").
// One process-wide record holds the state of the run.
#include <windows.h>

#include "foundation/pool.h"
#include "java/java_worker.h"
#include "options/cmdline.h"

enum WorkerMode { WORKER_MODE_NONE = 0, WORKER_MODE_JVM, WORKER_MODE_JAVA, WORKER_MODE_EXE };

enum StopReason { STOP_REASON_STOP = 1, STOP_REASON_SHUTDOWN = 5 };

struct ServiceRunState {
    BOOL runningAsService;
    const wchar_t* serviceName;
    SERVICE_STATUS_HANDLE statusHandle;
    SERVICE_STATUS status;
    volatile LONG checkPointCounter;
    int startMode;
    int stopMode;
    // The start worker: a JavaHandle or a ProcessHandle.
    Handle* volatile worker;
    HANDLE shutdownEvent;
    HANDLE signalEvent;
    HANDLE signalThread;
    volatile LONG dumpEnabled;
    wchar_t* pidFile;
    HANDLE pidFileHandle;
    int runResult;
    // The executable's directory: where a jvm-mode worker runs when no StartPath is given.
    const wchar_t* defaultWorkingDirectory;
    // A stop was asked for; the worker may have been ended under the virtual machine.
    volatile LONG stopRequested;
    // The Java settings both calls share, and each call's own.
    const wchar_t* jvmPath;
    JavaWorkerParams startCall;
    JavaWorkerParams stopCall;
};
extern ServiceRunState RunState;

BOOL runAsConsole(CommandLine* commandLine);
BOOL runAsService(CommandLine* commandLine);
