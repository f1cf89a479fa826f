#pragma once
// The runner from its arguments to its exit code.

enum ExitCode {
    EXIT_OK = 0,
    EXIT_PARSE = 1,
    EXIT_LOAD_CONFIGURATION = 2,
    EXIT_RUN = 3,
    EXIT_SERVICE = 4,
    EXIT_START = 5,
    EXIT_STOP = 6,
    EXIT_UPDATE = 7,
    EXIT_INSTALL = 8,
    EXIT_DELETE = 9,
};

int runProgram(int argc, wchar_t** argv);
