#pragma once
// Which processes the service ends for an agent. The service runs as LocalSystem and the agent as
// the session's user, so whatever an agent reports is untrusted: any process of that user can
// drive the agent, or speak its interface, and name the service itself, a system process or a
// process of another session. The service therefore acts only on a process that lives in the
// calling agent's session, runs as the agent's account (the system's own processes of that
// session run as system accounts) and is not the service, and later only on that same process:
// its id together with its creation time, since an id is reused once its process has ended.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

namespace brisko {

// Where a process runs: its session and its account (a SID in text form); none where unknown.
struct ProcessPlace {
    std::optional<DWORD> session;
    std::optional<std::wstring> account;
};

// The decision on a report, from what is known about the process and the caller.
bool MayActOnReportedProcess(long processId, DWORD serviceProcessId, const ProcessPlace& caller,
                             const ProcessPlace& process);

// The creation time (FILETIME ticks) of a reported process that the service may end for the
// calling agent; none when it may not, or when the process is gone.
std::optional<uint64_t> StampReportedProcess(DWORD callerProcessId, long processId);

// Ends the process with that id if it is still the one created at createdAt; false when it is
// gone, is another process by now, or cannot be ended.
bool EndReportedProcess(DWORD processId, uint64_t createdAt);

}  // namespace brisko
