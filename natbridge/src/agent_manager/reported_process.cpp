#include "agent_manager/reported_process.h"

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

bool MayActOnReportedProcess(long processId, DWORD serviceProcessId, const ProcessPlace& caller,
                             const ProcessPlace& process) {
    if (processId <= 0 || static_cast<DWORD>(processId) == serviceProcessId) return false;
    return caller.session && caller.session == process.session && caller.account &&
           caller.account == process.account;
}

std::optional<StampedProcess> StampReportedProcess(const ProcessPlace& caller, long processId, bool identify) {
    if (processId <= 0 || static_cast<DWORD>(processId) == ::GetCurrentProcessId()) return std::nullopt;
    const UniqueHandle process = OpenForChecks(static_cast<DWORD>(processId));
    if (!process) return std::nullopt;
    if (!MayActOnReportedProcess(processId, ::GetCurrentProcessId(), caller,
                                 CurrentSessionSystem().placeOfProcess(process.get())))
        return std::nullopt;
    const std::optional<uint64_t> createdAt = CreationTimeIfRunning(process.get());
    if (!createdAt) return std::nullopt;
    StampedProcess stamped{*createdAt, std::nullopt};
    if (identify) stamped.identity = identifyOpenProcess(process.get(), static_cast<DWORD>(processId), false);
    return stamped;
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
