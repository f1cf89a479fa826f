#include "lifecycle/service_run.h"

#include "foundation/log.h"
#include "foundation/worker_exit.h"
#include "java/jvm_library.h"
#include "lifecycle/service_main.h"

ServiceRunState RunState = {};

namespace {

constexpr DWORD JvmExitWaitMs = 60000;

void beginRun(CommandLine* commandLine, BOOL asService) {
    RunState.serviceName = commandLine->serviceName;
    RunState.runningAsService = asService;
    RunState.defaultWorkingDirectory = commandLine->exeDir;
    RunState.checkPointCounter = 1;
    RunState.dumpEnabled = TRUE;
}

// The pid file is deleted when its handle closes, so it goes with the run.
void closePidFile() {
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

BOOL runAsConsole(CommandLine* commandLine) {
    beginRun(commandLine, FALSE);
    LOG_INFO("Debugging '%S' service...", RunState.serviceName);
    ServiceMain(0, nullptr);
    LOG_INFO("Debug service finished with exit code %d", RunState.runResult);
    closePidFile();
    return RunState.runResult == 0;
}

BOOL runAsService(CommandLine* commandLine) {
    beginRun(commandLine, TRUE);
    LOG_INFO("Running '%S' Service...", RunState.serviceName);
    SERVICE_TABLE_ENTRYW table[] = {{const_cast<wchar_t*>(RunState.serviceName), ServiceMain}, {nullptr, nullptr}};
    const BOOL dispatched = ::StartServiceCtrlDispatcherW(table);
    if (JvmState.exiting) leaveTheEndToTheJvm();
    if (dispatched)
        LOG_INFO("Run service finished.");
    else
        LOG_ERROR("StartServiceCtrlDispatcher for '%S' failed", RunState.serviceName);
    closePidFile();
    return dispatched;
}
