#include "foundation/failure.h"

#include <cstdarg>
#include <cwchar>

#include "foundation/log.h"
#include "foundation/wide_format.h"

namespace {

constexpr size_t StepChars = 1024;

// Written by the thread that fails a step, read by the main thread at the end of the run.
SRWLOCK FailureLock = SRWLOCK_INIT;
wchar_t FailedStep[StepChars] = L"";
DWORD FailedStepError = 0;

}  // namespace

void noteFailure(const char* sourceFile, int sourceLine, DWORD systemError, const char* format, ...) {
    wchar_t step[StepChars];
    va_list arguments;
    va_start(arguments, format);
    formatWide(step, StepChars, format, arguments);
    va_end(arguments);
    ::AcquireSRWLockExclusive(&FailureLock);
    std::wcscpy(FailedStep, step);
    FailedStepError = systemError;
    ::ReleaseSRWLockExclusive(&FailureLock);
    ::SetLastError(systemError);
    logMessage(nullptr, LOG_LEVEL_ERROR, TRUE, sourceFile, sourceLine, "%S", step);
}

void clearFailure() {
    ::AcquireSRWLockExclusive(&FailureLock);
    FailedStep[0] = L'\0';
    FailedStepError = 0;
    ::ReleaseSRWLockExclusive(&FailureLock);
}

void reportFailure(const char* reason) {
    wchar_t step[StepChars];
    ::AcquireSRWLockShared(&FailureLock);
    std::wcscpy(step, FailedStep);
    const DWORD error = FailedStepError;
    ::ReleaseSRWLockShared(&FailureLock);
    ::SetLastError(error);
    if (step[0])
        reportError("Failed to %s: %S", reason, step);
    else
        reportError("Failed to %s", reason);
}
