#include "lifecycle/service_run.h"

#include "foundation/failure.h"
#include "foundation/log.h"
#include "foundation/std_streams.h"
#include "foundation/worker_exit.h"
#include "java/jvm_library.h"
#include "lifecycle/service_main.h"
#include "lifecycle/stop_rules.h"

ServiceRunState RunState = {};

namespace {

constexpr DWORD JvmExitWaitMs = 60000;

void beginRun(CommandLine* commandLine, BOOL asService) {
    RunState.serviceName = commandLine->serviceName;
    RunState.runningAsService = asService;
    RunState.defaultWorkingDirectory = commandLine->exeDir;
    RunState.checkPointCounter = 1;
    RunState.dumpEnabled = TRUE;
    RunState.shutdownEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

// The pid file is deleted when its handle closes, so it goes with the run.
void endRun() {
    if (RunState.pidFileHandle && RunState.pidFileHandle != INVALID_HANDLE_VALUE) ::CloseHandle(RunState.pidFileHandle);
    RunState.pidFileHandle = nullptr;
}

// The JVM is ending the process on a thread of its own (System.exit), whose exit hooks told the
// service manager it stopped: tearing the runner down under that exit could only race with it.
// A minute is more than any exit takes.
void leaveTheEndToTheJvm() {
    ::Sleep(JvmExitWaitMs);
    ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(processExitCode()));
}

}  // namespace

BOOL claimStop(LONG claimant) { return ::InterlockedCompareExchange(&RunState.stopClaim, claimant, 0) == 0; }

BOOL stopIsClaimed() { return ::InterlockedCompareExchange(&RunState.stopClaim, 0, 0) != 0; }

BOOL stopWasRequested() {
    const LONG claim = ::InterlockedCompareExchange(&RunState.stopClaim, 0, 0);
    return claim != 0 && claim != STOP_CLAIMED_BY_MAIN;
}

void shortenStopDeadline(DWORD withinMs) {
    const LONGLONG wanted = static_cast<LONGLONG>(::GetTickCount64() + withinMs);
    for (;;) {
        const LONGLONG current = ::InterlockedCompareExchange64(&RunState.stopDeadline, 0, 0);
        if (current != 0 && current <= wanted) return;
        if (::InterlockedCompareExchange64(&RunState.stopDeadline, wanted, current) == current) return;
    }
}

DWORD withinStopDeadline(DWORD wantedMs) {
    const LONGLONG deadline = ::InterlockedCompareExchange64(&RunState.stopDeadline, 0, 0);
    return timeLeftBefore(static_cast<ULONGLONG>(deadline), ::GetTickCount64(), wantedMs);
}

void finishStop() {
    if (RunState.shutdownEvent) ::SetEvent(RunState.shutdownEvent);
}

BOOL runAsConsole(CommandLine* commandLine) {
    beginRun(commandLine, FALSE);
    ensureHiddenConsole();
    LOG_INFO("Debugging '%S' service...", RunState.serviceName);
    ServiceMain(0, nullptr);
    LOG_INFO("Debug service finished with exit code %d", RunState.runResult);
    endRun();
    return RunState.runResult == 0;
}

BOOL runAsService(CommandLine* commandLine) {
    beginRun(commandLine, TRUE);
    LOG_INFO("Running '%S' Service...", RunState.serviceName);
    SERVICE_TABLE_ENTRYW table[] = {{const_cast<wchar_t*>(RunState.serviceName), ServiceMain}, {nullptr, nullptr}};
    const BOOL dispatched = ::StartServiceCtrlDispatcherW(table);
    if (JvmState.exiting) leaveTheEndToTheJvm();
    if (dispatched) {
        LOG_INFO("Run service finished.");
    } else {
        LOG_FAILURE(::GetLastError(), "StartServiceCtrlDispatcher for '%S' failed", RunState.serviceName);
        // No service manager ran this process: a person typed the command and reads the failure.
        RunState.runningAsService = FALSE;
    }
    endRun();
    return dispatched;
}
