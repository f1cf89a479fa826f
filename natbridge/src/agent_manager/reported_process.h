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

#include "identification/executable_identity.h"
#include "session/session_system.h"

namespace brisko {

// The decision on a report, from what is known about the process and the caller.
bool MayActOnReportedProcess(long processId, DWORD serviceProcessId, const ProcessPlace& caller,
                             const ProcessPlace& process);

struct StampedProcess {
    uint64_t createdAt = 0;  // FILETIME ticks
    // Named here when the report came without an identifier: the agent runs as its user and
    // cannot open every process of that user's desktop, the service can.
    std::optional<ApplicationIdentity> identity;
};

// The creation time of a reported process that the service may end for a caller that runs at
// `caller`, and with `identify` its identity; none when it may not, or when the process is gone.
// The process is opened once: its session, account, creation time and identity all come from
// that one handle, so they describe one process even when the id passes to another meanwhile.
std::optional<StampedProcess> StampReportedProcess(const ProcessPlace& caller, long processId, bool identify);

// Ends the process with that id if it is still the one created at createdAt; false when it is
// gone, is another process by now, or cannot be ended.
bool EndReportedProcess(DWORD processId, uint64_t createdAt);

}  // namespace brisko
