#pragma once
// The runner's command line: one command, the service it is about, and options.
#include <windows.h>

#include "options/options.h"

enum Command {
    COMMAND_RUN = 1,
    COMMAND_SERVICE,
    COMMAND_START,
    COMMAND_STOP,
    COMMAND_UPDATE,
    COMMAND_INSTALL,
    COMMAND_DELETE,
    COMMAND_HELP,
    COMMAND_VERSION,
};

struct CommandLine {
    OptionEntry* options;
    wchar_t* exePath;
    wchar_t* exeName;
    wchar_t* exeDir;
    const wchar_t* serviceName;
    int command;
};

// Fills the option table from the arguments; null (after logging why) when they are invalid.
// The record lives in the main pool.
CommandLine* parseCommandLine(int argc, wchar_t** argv);
// "WR_" + option name from the environment overrides the command line. FALSE (after logging
// why) for a variable whose value is refused, as on the command line.
BOOL applyEnvironmentOptions(CommandLine* commandLine);
