#include "foundation/log.h"
#include "lifecycle/service_main.h"
#include "lifecycle/service_run.h"

BOOL reportServiceStatusE(DWORD state, DWORD win32ExitCode, DWORD waitHint, DWORD serviceExitCode) {
    LOG_DEBUG("reportServiceStatusE: %d, %d, %d, %d", static_cast<int>(state), static_cast<int>(win32ExitCode),
              static_cast<int>(waitHint), static_cast<int>(serviceExitCode));
    if (!RunState.runningAsService || !RunState.statusHandle) return TRUE;
    SERVICE_STATUS& status = RunState.status;
    status.dwCurrentState = state;
    status.dwWin32ExitCode = win32ExitCode;
    status.dwWaitHint = waitHint;
    status.dwServiceSpecificExitCode = serviceExitCode;
    // While running: stop, shutdown and the pre-shutdown notice, which comes early enough for the
    // whole stop where the system gives it more time than the kill time-out.
    status.dwControlsAccepted =
        state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_PRESHUTDOWN : 0;
    status.dwCheckPoint = state == SERVICE_RUNNING || state == SERVICE_STOPPED
                              ? 0
                              : static_cast<DWORD>(::InterlockedIncrement(&RunState.checkPointCounter) - 1);
    if (!::SetServiceStatus(RunState.statusHandle, &status)) {
        LOG_ERROR("Failed to set service status");
        return FALSE;
    }
    return TRUE;
}

void reportServiceStopped(DWORD exitCode) {
    if (exitCode)
        reportServiceStatusE(SERVICE_STOPPED, ERROR_SERVICE_SPECIFIC_ERROR, 0, exitCode);
    else
        reportServiceStatusE(SERVICE_STOPPED, 0, 0, 0);
}
