#include "lifecycle/service_main.h"

#include <sddl.h>

#include <cstdio>
#include <initializer_list>

#include "foundation/failure.h"
#include "foundation/log.h"
#include "foundation/std_streams.h"
#include "foundation/std_write.h"
#include "foundation/worker_exit.h"
#include "java/java_worker.h"
#include "java/jvm_library.h"
#include "lifecycle/service_run.h"
#include "lifecycle/stop_rules.h"
#include "lifecycle/worker_settings.h"
#include "options/options.h"
#include "process/process_handle.h"
#include "unique_memory.h"

namespace {

constexpr size_t SignalNameChars = 1024;
constexpr DWORD SignalSliceMs = 1000;
constexpr DWORD StartPendingHintMs = 3000;
constexpr DWORD StopPendingHintMs = 3000;
constexpr DWORD ShutdownWaitMs = 60000;
constexpr int NothingStarted = 1;

// A console for the service's worker and its Java: the parent's, or a hidden one of its own.
void ensureServiceConsole() {
    if (::AttachConsole(ATTACH_PARENT_PROCESS) || ::GetLastError() != ERROR_INVALID_HANDLE) return;
    if (!::AllocConsole()) return;
    if (const HWND window = ::GetConsoleWindow()) ::ShowWindow(window, SW_HIDE);
}

void announceStandardStreams() {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    for (const DWORD stream : {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
        char line[128];
        const int length =
            std::snprintf(line, sizeof(line), "\n%d-%02d-%02d %02d:%02d:%02d Tamsin Daemon wendrow %s initialized\n",
                          now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                          stream == STD_OUTPUT_HANDLE ? "stdout" : "stderr");
        writeStandardStream(stream, line, static_cast<DWORD>(length));
    }
}

// Only the process that hosts the worker sends its standard streams to the service's files, and
// only once the service manager runs it: every command a person types keeps its console, and
// never opens (or empties) those files.
void hostStandardStreams() {
    ensureServiceConsole();
    redirectStandardStreams(optionString(OPTION_LOG_PATH), optionString(OPTION_STD_OUTPUT),
                            optionString(OPTION_STD_ERROR), RunState.serviceName);
    announceStandardStreams();
}

DWORD WINAPI stopThread(void* reason) {
    ServiceStop(static_cast<int>(reinterpret_cast<INT_PTR>(reason)));
    return 0;
}

// A request that finds the stop under way changes nothing the service manager was told; a
// shutdown still holds that stop to its time (ServiceStop).
void startStopThread(int reason) {
    if (!stopIsClaimed()) reportServiceStatusE(SERVICE_STOP_PENDING, 0, StopPendingHintMs, 0);
    const HANDLE thread =
        ::CreateThread(nullptr, 0, stopThread, reinterpret_cast<void*>(static_cast<INT_PTR>(reason)), 0, nullptr);
    if (thread) ::CloseHandle(thread);
}

// A thread dump on request: the JVM is asked directly where it can be, since a CTRL+BREAK that
// no handler takes ends the process.
void dumpThreads() {
    if (RunState.startMode == WORKER_MODE_JVM && JvmState.dumpAllStacks && RunState.worker) {
        dumpJavaStacks(RunState.worker);
        return;
    }
    if (!::GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, 0) && RunState.startMode == WORKER_MODE_JVM && RunState.worker)
        dumpJavaStacks(RunState.worker);
}

// A signal that comes too soon after the last dump is taken and dropped: repeated signals must
// not flood the output, nor keep sending CTRL+BREAK to the worker.
DWORD WINAPI signalThread(void*) {
    ULONGLONG lastDump = 0;
    for (;;) {
        const DWORD result = ::WaitForSingleObject(RunState.signalEvent, SignalSliceMs);
        if (result == WAIT_TIMEOUT) continue;
        if (result != WAIT_OBJECT_0 || !RunState.dumpEnabled) return 0;
        const ULONGLONG now = ::GetTickCount64();
        if (threadDumpDue(lastDump, now)) {
            dumpThreads();
            lastDump = now ? now : 1;
        } else {
            LOG_DEBUG("Thread dump skipped: at most one every %d s", static_cast<int>(ThreadDumpIntervalMs / 1000));
        }
        ::ResetEvent(RunState.signalEvent);
    }
}

// Only the system and the administrators may signal it (or do anything else with it): for the
// supervised child it would be a way into the worker.
constexpr wchar_t SignalEventSddl[] = L"D:P(A;;0x1f0003;;;SY)(A;;0x1f0003;;;BA)";

void startSignalThread() {
    if (!RunState.serviceName) return;
    wchar_t name[SignalNameChars];
    if (!buildSignalEventName(RunState.serviceName, name, SignalNameChars)) return;
    brisko::UniqueLocalMemory<PSECURITY_DESCRIPTOR> descriptor;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(SignalEventSddl, SDDL_REVISION_1, descriptor.put(),
                                                                nullptr)) {
        LOG_SYSTEM_ERROR();
        return;
    }
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor.get(), FALSE};
    RunState.signalEvent = ::CreateEventW(&attributes, TRUE, FALSE, name);
    if (RunState.signalEvent) RunState.signalThread = ::CreateThread(nullptr, 0, signalThread, nullptr, 0, nullptr);
}

void endEarly(int code) {
    reportServiceStopped(static_cast<DWORD>(code));
    RunState.runResult = code;
}

void destroyWithin(DWORD limitMs) {
    if (!destroyJavaVm(limitMs)) LOG_ERROR("The JVM was not destroyed within %d ms", static_cast<int>(limitMs));
}

// After a stop, a worker that was ended under the virtual machine can keep its destruction
// waiting for ever: it is given a minute, and no more than the stop's deadline allows. Answers
// whether the stop is over.
BOOL destroyAfterWorker(BOOL stopRequested) {
    if (!stopRequested) {
        LOG_DEBUG("Waiting for all threads to exit");
        destroyWithin(INFINITE);
        reportServiceStatusE(SERVICE_STOP_PENDING, 0, 0, 0);
        return TRUE;
    }
    LOG_DEBUG("Waiting for ShutdownEvent");
    reportServiceStatusE(SERVICE_STOP_PENDING, 0, withinStopDeadline(ShutdownWaitMs), 0);
    const BOOL stopOver =
        ::WaitForSingleObject(RunState.shutdownEvent, withinStopDeadline(ShutdownWaitMs)) == WAIT_OBJECT_0;
    LOG_DEBUG("ShutdownEvent signaled");
    LOG_DEBUG("Waiting 1 minute for all threads to exit");
    reportServiceStatusE(SERVICE_STOP_PENDING, 0, withinStopDeadline(ShutdownWaitMs), 0);
    destroyWithin(withinStopDeadline(ShutdownWaitMs));
    return stopOver;
}

// A child the stop had to end stopped as asked: that is no failure of the service.
int workerExitCode() {
    const int code = static_cast<int>(processExitCode());
    Handle* worker = RunState.worker;
    if (stopWasRequested() && worker && worker->type == HANDLE_TYPE_PROCESS &&
        processWasEndedByRunner(reinterpret_cast<ProcessHandle*>(worker))) {
        LOG_INFO("The worker was ended by the stop; its exit code was %d", code);
        return 0;
    }
    return code;
}

}  // namespace

void WINAPI ServiceMain(DWORD, wchar_t**) {
    RunState.status = {SERVICE_WIN32_OWN_PROCESS, SERVICE_START_PENDING, SERVICE_ACCEPT_SHUTDOWN, 0, 0, 0, 0};
    LOG_DEBUG("Inside ServiceMain...");
    // Before anything that can fail, so that the service manager hears of every ending.
    if (RunState.runningAsService) {
        RunState.statusHandle = ::RegisterServiceCtrlHandlerExW(RunState.serviceName, serviceControlHandler, nullptr);
        if (!RunState.statusHandle) {
            LOG_FAILURE(::GetLastError(), "Failed to register Service Control for %S", RunState.serviceName);
            return endEarly(0);
        }
        reportServiceStatusE(SERVICE_START_PENDING, 0, StartPendingHintMs, 0);
        hostStandardStreams();
    }
    startSignalThread();
    // Nothing ran: a failure, whatever the service manager would otherwise be told.
    if (!prepareWorkerSettings()) return endEarly(NothingStarted);
    reportServiceStatusE(SERVICE_START_PENDING, 0, StartPendingHintMs, 0);
    if (const int result = ServiceStart()) {
        LOG_ERROR("ServiceStart returned %d", result);
        return endEarly(result);
    }
    reportServiceStatusE(SERVICE_RUNNING, 0, 0, 0);
    LOG_DEBUG("Waiting for worker to finish...");
    ::SetConsoleCtrlHandler(consoleHandler, TRUE);
    waitHandle(RunState.worker, INFINITE, FALSE);
    LOG_DEBUG("Worker finished.");
    // From here no stop starts on the worker; one already under way is waited for.
    const BOOL stopRequested = !claimStop(STOP_CLAIMED_BY_MAIN);
    const BOOL stopOver = destroyAfterWorker(stopRequested);
    LOG_DEBUG("JVM destroyed.");
    // The run command answers what the service manager is told: a worker that failed fails it.
    RunState.runResult = workerExitCode();
    if (RunState.runResult) LOG_FAILURE(0, "The worker ended with exit code %d", RunState.runResult);
    // Closing a child worker's record ends whatever it left running before the service reports
    // stopped; a stop still under way leaves it to the end of the process, and so does a Java
    // worker, whose library goes last.
    if (stopOver && RunState.worker->type == HANDLE_TYPE_PROCESS) {
        closeHandle(RunState.worker);
        RunState.worker = nullptr;
    }
    reportServiceStopped(static_cast<DWORD>(RunState.runResult));
}

DWORD WINAPI serviceControlHandler(DWORD control, DWORD, void*, void*) {
    switch (control) {
    case SERVICE_CONTROL_STOP: startStopThread(STOP_REASON_STOP); return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
        reportServiceStatusE(RunState.status.dwCurrentState, RunState.status.dwWin32ExitCode,
                             RunState.status.dwWaitHint, RunState.status.dwServiceSpecificExitCode);
        return NO_ERROR;
    case SERVICE_CONTROL_SHUTDOWN:
        LOG_INFO("Service SHUTDOWN signaled");
        startStopThread(STOP_REASON_SHUTDOWN);
        return NO_ERROR;
    case SERVICE_CONTROL_PRESHUTDOWN:
        LOG_INFO("Service PRESHUTDOWN signaled");
        startStopThread(STOP_REASON_PRESHUTDOWN);
        return NO_ERROR;
    default: return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

BOOL WINAPI consoleHandler(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
        LOG_INFO("Console CTRL+C event signaled");
        ServiceStop(STOP_REASON_STOP);
        return TRUE;
    case CTRL_BREAK_EVENT:
        LOG_INFO("Console CTRL+BREAK event signaled");
        // The JVM's own handler prints its threads; without a JVM nothing may end the runner.
        return RunState.startMode != WORKER_MODE_JVM;
    case CTRL_CLOSE_EVENT:
        LOG_INFO("Console CTRL+CLOSE event signaled");
        ServiceStop(STOP_REASON_STOP);
        return TRUE;
    case CTRL_LOGOFF_EVENT:
        LOG_INFO("Console LOGOFF event signaled");
        if (!RunState.runningAsService) ServiceStop(STOP_REASON_STOP);
        return TRUE;
    case CTRL_SHUTDOWN_EVENT:
        LOG_INFO("Console SHUTDOWN event signaled");
        ServiceStop(STOP_REASON_SHUTDOWN);
        return TRUE;
    default: return FALSE;
    }
}
