#pragma once
// Turns a process id into the application identifier and display name the service decides by.
#include <windows.h>

#include "identification/application_naming.h"
#include "identification/process_record.h"

namespace brisko {

inline constexpr DWORD kUnknownProcessId = 0xFFFFFFFF;

// Fills applicationId, applicationName and possibly kind of a record whose processId is set;
// a process that cannot be opened leaves the record as it is. With skipDescription, only a
// package identity is looked for.
void identifyProcess(ProcessRecord& record, bool skipDescription);

// Names from the image's version resource, falling back to its file name; both empty when
// the image path cannot be read.
ExecutableNames describeExecutable(HANDLE process);

// kUnknownProcessId when the process is not in a process snapshot.
DWORD parentProcessId(DWORD processId);

}  // namespace brisko
