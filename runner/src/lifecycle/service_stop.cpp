#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "foundation/log.h"
#include "java/java_worker.h"
#include "lifecycle/service_main.h"
#include "lifecycle/service_run.h"
#include "lifecycle/stop_rules.h"
#include "options/options.h"
#include "process/child_arguments.h"
#include "process/process_handle.h"
#include "registry/system_registry.h"

namespace {

constexpr DWORD SystemExitHintMs = 20000;
constexpr DWORD SignalThreadWaitMs = 1000;

void stopExitHook() {
    if (!RunState.runningAsService) return;
    LOG_DEBUG("Stop exit hook called ...");
    reportServiceStopped(0);
}

// A wait hint that covers the wait and the ending of a child that outlasts it, so a controller
// waiting for the stop does not give up while the runner keeps its word.
DWORD stopPendingHint(DWORD timeoutMs) { return timeoutMs == INFINITE ? INFINITE : timeoutMs + LongestChildEndingMs; }

// Made once a stop call is under way; the service's main thread waits for it before it reports
// the service stopped, so a stop sequence is never cut short by the end of the process.
void createShutdownEvent() {
    if (!RunState.shutdownEvent) RunState.shutdownEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

DWORD elapsedSince(ULONGLONG start) { return static_cast<DWORD>(::GetTickCount64() - start); }

bool isEmpty(OptionIndex index) { return !optionString(index) || !*optionString(index); }

void logStopCallTimeout(DWORD result, DWORD timeoutMs) {
    if (result == WAIT_TIMEOUT) LOG_ERROR("Stop worker did not finish in %d ms", static_cast<int>(timeoutMs));
}

enum StopOutcome { STOP_ABANDONED, STOP_NOT_RUN, STOP_RAN };

StopOutcome stopThroughJvm(DWORD callTimeoutMs) {
    if (isEmpty(OPTION_START_PATH) && !isEmpty(OPTION_STOP_PATH))
        ::SetCurrentDirectoryW(optionString(OPTION_STOP_PATH));
    JavaHandle* handle = createJavaHandle(RunState.jvmPath);
    if (!handle) {
        LOG_ERROR("Failed creating java %S", RunState.jvmPath ? RunState.jvmPath : L"auto");
        return STOP_ABANDONED;
    }
    JavaWorkerParams* call = &RunState.stopCall;
    call->handle = handle;
    std::atexit(stopExitHook);
    createShutdownEvent();
    if (!startJavaWorker(call)) {
        LOG_ERROR("Failed starting java");
    } else if (std::strcmp(call->className, "java/lang/System") == 0) {
        // The call ends the process; the exit hooks report the service stopped.
        reportServiceStatusE(SERVICE_STOP_PENDING, 0, SystemExitHintMs, 0);
        LOG_DEBUG("Forcing java jni System.exit worker to finish...");
        return STOP_ABANDONED;
    } else {
        LOG_DEBUG("Waiting for java jni stop worker to finish...");
        logStopCallTimeout(waitJavaWorker(handle, callTimeoutMs, FALSE), callTimeoutMs);
        LOG_DEBUG("Java jni stop worker finished.");
    }
    closeTypedHandle(handle);
    return STOP_RAN;
}

StopOutcome stopThroughProcess(DWORD callTimeoutMs) {
    const wchar_t* image = optionString(OPTION_STOP_IMAGE);
    if (!image || !*image) {
        LOG_ERROR("Missing service ImageFile");
        if (!RunState.runningAsService)
            reportError("Service '%S' is missing the ImageFile", RunState.serviceName ? RunState.serviceName : L"unknown");
        return STOP_ABANDONED;
    }
    ProcessHandle* handle = createProcessHandle(optionString(OPTION_USER), nullptr);
    if (!handle) {
        LOG_ERROR("Failed creating process");
        return STOP_ABANDONED;
    }
    createShutdownEvent();
    const std::vector<std::wstring> arguments =
        RunState.stopMode == WORKER_MODE_JAVA
            ? buildJavaArguments(optionString(OPTION_STOP_CLASS), optionString(OPTION_JVM_OPTIONS),
                                 optionNumber(OPTION_JVM_MS), optionNumber(OPTION_JVM_MX), optionNumber(OPTION_JVM_SS),
                                 optionString(OPTION_STOP_PARAMS), optionString(OPTION_CLASSPATH))
            : listEntries(optionString(OPTION_STOP_PARAMS));
    StopOutcome outcome = STOP_NOT_RUN;
    if (!setExecutable(handle, image)) {
        LOG_ERROR("Failed setting process executable %S", image);
    } else if (!setArguments(handle, arguments)) {
        LOG_ERROR("Failed setting process arguments (argc=%d)", static_cast<int>(arguments.size()));
    } else if (!setWorkingDirectory(handle, optionString(OPTION_STOP_PATH))) {
        LOG_ERROR("Failed setting process working path to %S", optionString(OPTION_STOP_PATH));
    } else if (!executeProcess(handle)) {
        LOG_ERROR("Failed executing process");
    } else {
        LOG_DEBUG("Waiting for stop worker to finish...");
        logStopCallTimeout(waitProcess(handle, callTimeoutMs, FALSE), callTimeoutMs);
        LOG_DEBUG("Stop worker finished.");
        outcome = STOP_RAN;
    }
    closeTypedHandle(handle);
    return outcome;
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

void endWorker(Handle* worker, DWORD timeoutMs) {
    const ULONGLONG started = ::GetTickCount64();
    if (timeoutMs == 0) {
        LOG_DEBUG("Sending WM_CLOSE to worker");
        sendCloseToHandle(worker);
        return;
    }
    LOG_DEBUG("Waiting for worker to die naturally...");
    if (waitHandle(worker, timeoutMs, TRUE) == WAIT_TIMEOUT) {
        // The killing wait closed the worker's handle.
        ::InterlockedCompareExchangePointer(reinterpret_cast<void* volatile*>(&RunState.worker), nullptr, worker);
        LOG_DEBUG("Worker was killed in %d ms.", static_cast<int>(elapsedSince(started)));
    } else {
        LOG_DEBUG("Worker finished gracefully in %d ms.", static_cast<int>(elapsedSince(started)));
    }
}

}  // namespace

DWORD ServiceStop(int reason) {
    const LONG stopTimeout = optionNumber(OPTION_STOP_TIMEOUT);
    LOG_INFO("Stopping service...");
    Handle* worker = RunState.worker;
    if (!worker) {
        LOG_INFO("Worker is not defined");
        return 0;
    }
    ::InterlockedExchange(&RunState.stopRequested, TRUE);
    const DWORD killTimeout = reason == STOP_REASON_SHUTDOWN ? readKillServiceTimeout() : INFINITE;
    // The stop call gets as long as the worker then gets to end: a stop call that hangs must
    // not hang the service.
    const DWORD callTimeout = finalStopTimeout(stopTimeout, TRUE, reason, killTimeout);
    // The service manager hears how long the stop call may take.
    if (RunState.stopMode != WORKER_MODE_NONE)
        reportServiceStatusE(SERVICE_STOP_PENDING, 0, stopPendingHint(callTimeout), 0);
    StopOutcome outcome = STOP_NOT_RUN;
    if (RunState.stopMode == WORKER_MODE_JVM)
        outcome = stopThroughJvm(callTimeout);
    else if (RunState.stopMode != WORKER_MODE_NONE)
        outcome = stopThroughProcess(callTimeout);
    else
        createShutdownEvent();
    if (outcome == STOP_ABANDONED) return 0;

    stopSignalThread();
    const DWORD timeout = finalStopTimeout(stopTimeout, outcome == STOP_RAN, reason, killTimeout);
    reportServiceStatusE(SERVICE_STOP_PENDING, 0, stopPendingHint(timeout), 0);
    endWorker(worker, timeout);
    LOG_INFO("Service stop thread completed.");
    if (RunState.shutdownEvent) ::SetEvent(RunState.shutdownEvent);
    return 0;
}
