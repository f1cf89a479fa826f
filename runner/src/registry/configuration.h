#pragma once
// The option table in the registry: loaded for the commands that use an existing service,
// saved by install and update, removed by delete.
#include <windows.h>

#include "options/cmdline.h"

// Fills every row this run did not set from the registry; lists given with "++" follow the
// stored entries.
BOOL loadConfiguration(CommandLine* commandLine);
// Writes every row set in this run (except the service control manager's own properties).
BOOL saveConfiguration(CommandLine* commandLine);
// Removes the service's keys below HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER, and the product
// key when no other service is left in it.
BOOL deleteServiceRegistry(const wchar_t* serviceName);
