#pragma once
// Names a running process the way the service decides about it: its package identity, or its
// executable's names. The agent names the processes of its user's windows with it, and the
// service names those the agent could not open (it opens every reported process anyway).
#include <windows.h>

#include <optional>
#include <string>

#include "identification/application_naming.h"

namespace brisko {

inline constexpr DWORD kUnknownProcessId = 0xFFFFFFFF;

struct ApplicationIdentity {
    bool packaged = false;        // applicationName is then empty
    std::wstring applicationId;   // "win32:…" or "winpkg:…"; empty when it could not be named
    std::wstring applicationName;
};

// `process` needs PROCESS_QUERY_LIMITED_INFORMATION. With packageOnly, an unpackaged process
// gets an empty identity.
ApplicationIdentity identifyOpenProcess(HANDLE process, DWORD processId, bool packageOnly);

// The same for a process opened here by its id; none when it cannot be opened.
std::optional<ApplicationIdentity> identifyProcessById(DWORD processId, bool packageOnly);

// The full Win32 path of the process's image; empty when it cannot be read.
std::wstring processImagePath(HANDLE process);

// Names from the image's version resource, falling back to its file name; both empty when
// the image path cannot be read.
ExecutableNames describeExecutable(HANDLE process);

// kUnknownProcessId when the process is not in a process snapshot.
DWORD parentProcessId(DWORD processId);

}  // namespace brisko
