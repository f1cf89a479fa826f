#include "service/service_run.h"

#include "foundation/log.h"

ServiceRunState RunState = {FALSE, nullptr};

// The worker (a hosted JVM or a child process) is not part of this runner yet: both commands
// set up their run and then fail with ERROR_CALL_NOT_IMPLEMENTED.

BOOL runAsConsole(CommandLine* commandLine) {
    RunState.serviceName = commandLine->serviceName;
    RunState.runningAsService = FALSE;
    LOG_INFO("Debugging '%S' service...", RunState.serviceName);
    ::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
}

BOOL runAsService(CommandLine* commandLine) {
    RunState.serviceName = commandLine->serviceName;
    RunState.runningAsService = TRUE;
    LOG_INFO("Running '%S' Service...", RunState.serviceName);
    ::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
}
