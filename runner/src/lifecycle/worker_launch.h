#pragma once
// A child process started from the options: the start worker and the stop program take the same
// steps, each with its own options and the texts of its own messages.
#include <windows.h>

#include "options/options.h"
#include "process/process_handle.h"

struct ChildLaunch {
    // WORKER_MODE_JAVA (java.exe with the JVM options, the class and the parameters) or
    // WORKER_MODE_EXE (the image with the parameters).
    int mode;
    OptionIndex image;
    OptionIndex workingPath;
    OptionIndex className;
    OptionIndex params;
    const char* createFailed;
    const char* executeFailed;
};

// The step that failed, numbered as the start reports it.
enum LaunchFailure {
    LAUNCH_NO_IMAGE = 1,
    LAUNCH_NOT_CREATED = 1,
    LAUNCH_NO_EXECUTABLE = 2,
    LAUNCH_NO_ARGUMENTS = 3,
    LAUNCH_NO_WORKING_PATH = 4,
    LAUNCH_NOT_EXECUTED = 5,
};

// The running child, or null (after logging why) with the failed step in *failure.
ProcessHandle* launchChild(const ChildLaunch& launch, int* failure);
