#pragma once
// The commands that act on the runner's service through the service control manager.
#include <windows.h>

#include "options/cmdline.h"

BOOL installService(CommandLine* commandLine);
// Installs the service when it does not exist yet.
BOOL updateService(CommandLine* commandLine);
BOOL deleteService(CommandLine* commandLine);
BOOL startService(CommandLine* commandLine);
BOOL stopService(CommandLine* commandLine);
