#include "agent_manager/reported_process.h"

#include "agent_manager/session_system.h"
#include "unique_handle.h"

namespace brisko {
namespace {

// Opened for the checks below; the handle also keeps the id from passing to another process.
UniqueHandle OpenForChecks(DWORD processId) {
    return UniqueHandle(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, processId));
}

// The creation time of a process that still runs; none for one that ended (whose object may
// live on while someone holds a handle to it).
std::optional<uint64_t> CreationTimeIfRunning(HANDLE process) {
    if (::WaitForSingleObject(process, 0) != WAIT_TIMEOUT) return std::nullopt;
    FILETIME created, exited, kernel, user;
    if (!::GetProcessTimes(process, &created, &exited, &kernel, &user)) return std::nullopt;
    return (static_cast<uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

}  // namespace

bool MayActOnReportedProcess(long processId, DWORD serviceProcessId, std::optional<DWORD> callerSession,
                             std::optional<DWORD> processSession) {
    if (processId <= 0 || static_cast<DWORD>(processId) == serviceProcessId) return false;
    return callerSession && processSession && *callerSession == *processSession;
}

std::optional<uint64_t> StampReportedProcess(DWORD callerProcessId, long processId) {
    const SessionSystem& system = CurrentSessionSystem();
    if (!MayActOnReportedProcess(processId, ::GetCurrentProcessId(), system.sessionOfProcess(callerProcessId),
                                 processId > 0 ? system.sessionOfProcess(static_cast<DWORD>(processId)) : std::nullopt))
        return std::nullopt;
    const UniqueHandle process = OpenForChecks(static_cast<DWORD>(processId));
    if (!process) return std::nullopt;
    return CreationTimeIfRunning(process.get());
}

bool EndReportedProcess(DWORD processId, uint64_t createdAt) {
    if (processId == ::GetCurrentProcessId()) return false;
    // While this handle is open the id cannot pass to another process, so the process checked
    // here is the one that is ended below.
    const UniqueHandle process = OpenForChecks(processId);
    if (!process || CreationTimeIfRunning(process.get()) != createdAt) return false;
    return CurrentSessionSystem().terminateProcess(processId);
}

}  // namespace brisko
