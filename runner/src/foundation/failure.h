#pragma once
// Why the command of this run failed, for the person at the console: the step that failed and,
// only when a system call failed there, its error code. The report names them and nothing else,
// so no error code left over from an earlier call passes for the reason.
#include <windows.h>

// Logs the step at error level (followed by the system's text when the code is not 0) and keeps
// it as the reason of the run's failure; a later step replaces an earlier one.
void noteFailure(const char* sourceFile, int sourceLine, DWORD systemError, const char* format, ...)
    __attribute__((format(ms_printf, 4, 5)));
void clearFailure();
// "Failed to <reason>" on standard error: the noted code's system text on the line before, and
// the noted step after ": ".
void reportFailure(const char* reason);

#define LOG_FAILURE(systemError, ...) noteFailure(__FILE__, __LINE__, systemError, __VA_ARGS__)
