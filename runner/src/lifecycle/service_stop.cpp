#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "foundation/log.h"
#include "java/java_worker.h"
#include "lifecycle/service_main.h"
#include "lifecycle/service_run.h"
#include "lifecycle/stop_rules.h"
#include "lifecycle/worker_launch.h"
#include "options/options.h"
#include "process/process_handle.h"
#include "registry/system_registry.h"

namespace {

constexpr DWORD SystemExitHintMs = 20000;
constexpr DWORD SignalThreadWaitMs = 1000;
constexpr DWORD StopWaitSliceMs = 500;

void stopExitHook() {
    if (!RunState.runningAsService) return;
    LOG_DEBUG("Stop exit hook called ...");
    reportServiceStopped(0);
}

// A wait hint that covers the wait and the ending of a child that outlasts it, so a controller
// waiting for the stop does not give up while the runner keeps its word.
DWORD stopPendingHint(DWORD timeoutMs) {
    return timeoutMs > INFINITE - LongestChildEndingMs ? INFINITE - 1 : timeoutMs + LongestChildEndingMs;
}

DWORD elapsedSince(ULONGLONG start) { return static_cast<DWORD>(::GetTickCount64() - start); }

bool isEmpty(OptionIndex index) { return !optionString(index) || !*optionString(index); }

// A stored value outside what the command line accepts counts as the default.
LONG stopTimeoutSeconds() {
    const LONG seconds = optionNumber(OPTION_STOP_TIMEOUT);
    if (seconds >= 0 && seconds <= LargestStopTimeoutSeconds) return seconds;
    LOG_WARN("StopTimeout %d is not between 0 and %d seconds; the default 0 is used", static_cast<int>(seconds),
             static_cast<int>(LargestStopTimeoutSeconds));
    return 0;
}

// All of a shutdown must fit in the time the system gives the services before it ends them; the
// pre-shutdown notice comes with the time the service manager waits for this service.
DWORD shutdownBudgetMs(int reason) {
    const DWORD killTimeout = readKillServiceTimeout();
    return reason == STOP_REASON_PRESHUTDOWN ? readPreshutdownTimeout(RunState.serviceName, killTimeout) : killTimeout;
}

// A wait of the stop, in slices, so that a deadline set while it waits (a shutdown arriving
// during a stop) cuts it short. With kill, a handle still running at the end is ended.
DWORD waitWithinDeadline(Handle* handle, DWORD wantedMs, BOOL kill) {
    const ULONGLONG started = ::GetTickCount64();
    for (;;) {
        const DWORD waited = elapsedSince(started);
        const DWORD left = withinStopDeadline(wantedMs > waited ? wantedMs - waited : 0);
        const DWORD result = waitHandle(handle, left < StopWaitSliceMs ? left : StopWaitSliceMs, FALSE);
        if (result != WAIT_TIMEOUT) return result;
        if (left <= StopWaitSliceMs) return kill ? waitHandle(handle, 0, TRUE) : result;
    }
}

void logStopCallTimeout(DWORD result, DWORD timeoutMs) {
    if (result == WAIT_TIMEOUT) LOG_ERROR("Stop worker did not finish in %d ms", static_cast<int>(timeoutMs));
}

enum StopOutcome { STOP_LEFT_TO_THE_JVM, STOP_NOT_RUN, STOP_RAN };

StopOutcome stopThroughJvm(DWORD callTimeoutMs) {
    if (isEmpty(OPTION_START_PATH) && !isEmpty(OPTION_STOP_PATH))
        ::SetCurrentDirectoryW(optionString(OPTION_STOP_PATH));
    JavaHandle* handle = createJavaHandle(RunState.jvmPath);
    if (!handle) {
        LOG_ERROR("Failed creating java %S", RunState.jvmPath ? RunState.jvmPath : L"auto");
        return STOP_NOT_RUN;
    }
    JavaWorkerParams* call = &RunState.stopCall;
    call->handle = handle;
    std::atexit(stopExitHook);
    // System.exit ends the process, and the exit hooks report the service stopped: what is said
    // of it is said before the call, which may end the process at once.
    const bool exits = std::strcmp(call->className, "java/lang/System") == 0;
    if (exits) {
        reportServiceStatusE(SERVICE_STOP_PENDING, 0, SystemExitHintMs, 0);
        LOG_DEBUG("Forcing java jni System.exit worker to finish...");
    }
    if (!startJavaWorker(call)) {
        LOG_ERROR("Failed starting java");
    } else if (exits) {
        return STOP_LEFT_TO_THE_JVM;
    } else {
        LOG_DEBUG("Waiting for java jni stop worker to finish...");
        logStopCallTimeout(waitWithinDeadline(&handle->head, callTimeoutMs, FALSE), callTimeoutMs);
        LOG_DEBUG("Java jni stop worker finished.");
    }
    closeTypedHandle(handle);
    return STOP_RAN;
}

StopOutcome stopThroughProcess(DWORD callTimeoutMs) {
    const ChildLaunch launch{RunState.stopMode,  OPTION_STOP_IMAGE,          OPTION_STOP_PATH,
                             OPTION_STOP_CLASS,  OPTION_STOP_PARAMS,         "Failed creating process",
                             "Failed executing process"};
    int failure = 0;
    ProcessHandle* handle = launchChild(launch, &failure);
    if (!handle) return STOP_NOT_RUN;
    LOG_DEBUG("Waiting for stop worker to finish...");
    logStopCallTimeout(waitWithinDeadline(&handle->head, callTimeoutMs, FALSE), callTimeoutMs);
    LOG_DEBUG("Stop worker finished.");
    closeTypedHandle(handle);
    return STOP_RAN;
}

void stopSignalThread() {
    if (!RunState.signalEvent) return;
    ::InterlockedExchange(&RunState.dumpEnabled, FALSE);
    ::SetEvent(RunState.signalEvent);
    if (RunState.signalThread) {
        ::WaitForSingleObject(RunState.signalThread, SignalThreadWaitMs);
        ::CloseHandle(RunState.signalThread);
        RunState.signalThread = nullptr;
    }
    ::CloseHandle(RunState.signalEvent);
    RunState.signalEvent = nullptr;
}

// The worker's record stays: ServiceMain, which waits on it, closes it.
void endWorker(Handle* worker, DWORD timeoutMs) {
    const ULONGLONG started = ::GetTickCount64();
    if (timeoutMs == 0) {
        LOG_DEBUG("Sending WM_CLOSE to worker");
        sendCloseToHandle(worker);
        return;
    }
    LOG_DEBUG("Waiting for worker to die naturally...");
    if (waitWithinDeadline(worker, timeoutMs, TRUE) == WAIT_TIMEOUT)
        LOG_DEBUG("Worker was killed in %d ms.", static_cast<int>(elapsedSince(started)));
    else
        LOG_DEBUG("Worker finished gracefully in %d ms.", static_cast<int>(elapsedSince(started)));
}

}  // namespace

DWORD ServiceStop(int reason) {
    LOG_INFO("Stopping service...");
    // A shutdown that finds a stop under way still holds it to the shutdown's time.
    const DWORD budget = reason == STOP_REASON_STOP ? INFINITE : shutdownBudgetMs(reason);
    if (reason != STOP_REASON_STOP) {
        LOG_DEBUG("The stop must be over within %d ms", static_cast<int>(budget));
        shortenStopDeadline(budget);
    }
    if (!claimStop(reason)) {
        LOG_INFO("The service is already stopping");
        return 0;
    }
    Handle* worker = RunState.worker;
    if (!worker) {
        LOG_INFO("Worker is not defined");
        finishStop();
        return 0;
    }
    const LONG stopTimeout = stopTimeoutSeconds();
    // The stop call gets as long as the worker then gets to end: a stop call that hangs must
    // not hang the service.
    const DWORD callTimeout = withinStopDeadline(finalStopTimeout(stopTimeout, TRUE, reason, budget));
    // The service manager hears how long the stop call may take.
    if (RunState.stopMode != WORKER_MODE_NONE)
        reportServiceStatusE(SERVICE_STOP_PENDING, 0, stopPendingHint(callTimeout), 0);
    StopOutcome outcome = STOP_NOT_RUN;
    if (RunState.stopMode == WORKER_MODE_JVM)
        outcome = stopThroughJvm(callTimeout);
    else if (RunState.stopMode != WORKER_MODE_NONE)
        outcome = stopThroughProcess(callTimeout);
    if (outcome == STOP_LEFT_TO_THE_JVM) return 0;

    stopSignalThread();
    const DWORD timeout = withinStopDeadline(finalStopTimeout(stopTimeout, outcome == STOP_RAN, reason, budget));
    reportServiceStatusE(SERVICE_STOP_PENDING, 0, stopPendingHint(timeout), 0);
    endWorker(worker, timeout);
    LOG_INFO("Service stop thread completed.");
    finishStop();
    return 0;
}
