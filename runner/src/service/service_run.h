#pragma once
// Running the service: under the service control manager ("service") or in this console ("run").
#include <windows.h>

#include "options/cmdline.h"

struct ServiceRunState {
    BOOL runningAsService;
    const wchar_t* serviceName;
};
extern ServiceRunState RunState;

BOOL runAsConsole(CommandLine* commandLine);
BOOL runAsService(CommandLine* commandLine);
