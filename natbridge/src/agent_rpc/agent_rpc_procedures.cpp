// The server routines of AgentApplications. The security callback admits only supervised
// agents, but Wine never calls it: every routine checks its caller again, so the gate holds
// wherever the service runs. Refusals and failures reach the client as RPC faults; they are
// raised from the routines' outer frames, where no C++ object is alive.
#include <AgentApplications.h>

#include <new>
#include <optional>

#include "agent_manager/agent_manager_impl.h"
#include "agent_manager/reported_process.h"
#include "agent_rpc/caller_process.h"
#include "agent_rpc/request_limits.h"

namespace brisko {

namespace {

// The supervised agent that calls, as it was launched: its user name, session and account.
std::optional<SupervisedAgent> IdentifyCaller() {
    SupervisedAgent caller;
    if (AdmitCaller(QueryCallerProcessId(), [&](DWORD id) { return FindSupervisedAgent(id, &caller); }) != RPC_S_OK)
        return std::nullopt;
    return caller;
}

long CheckTexts(const RunningApplication& application) {
    if (!IsReportTextWithinLimit(application.applicationId) || !IsReportTextWithinLimit(application.applicationName))
        return RPC_S_STRING_TOO_LONG;
    if (!IsReportTextPrintable(application.applicationId) || !IsReportTextPrintable(application.applicationName))
        return RPC_X_BAD_STUB_DATA;
    return RPC_S_OK;
}

std::wstring Text(const wchar_t* text) { return text ? text : L""; }

// The reported process as the registry keeps it; none for a process the service must not act
// on for this caller, and none for one that nobody could name: the core decides by identifier,
// and an empty one names no application it could refuse. Either is neither decided nor listed.
std::optional<ApplicationProcess> Admit(const SupervisedAgent& caller, const RunningApplication& application) {
    ApplicationProcess process{application.processId, Text(application.applicationId),
                               Text(application.applicationName), 0};
    std::optional<StampedProcess> stamped =
        StampReportedProcess(caller.place, application.processId, process.applicationId.empty());
    if (!stamped) return std::nullopt;
    process.createdAt = stamped->createdAt;
    if (stamped->identity) {
        process.applicationId = std::move(stamped->identity->applicationId);
        process.applicationName = std::move(stamped->identity->applicationName);
    }
    if (process.applicationId.empty()) return std::nullopt;
    return process;
}

// The body answers the procedure's status.
template <typename Body>
long RunProcedure(Body&& body) {
    try {
        ManagerCall call;
        if (!call) return RPC_S_ACCESS_DENIED;
        const std::optional<SupervisedAgent> caller = IdentifyCaller();
        if (!caller) return RPC_S_ACCESS_DENIED;
        return body(call->registry(), *caller);
    } catch (const std::bad_alloc&) {
        return RPC_S_OUT_OF_MEMORY;
    } catch (...) {
        return RPC_S_INTERNAL_ERROR;
    }
}

}  // namespace

// `count` is the size of the array (CheckOpenRequest saw to that before the stub ran).
long OpenListForCaller(long count, const RunningApplication* applications, void** list) {
    return RunProcedure([&](ApplicationRegistry& registry, const SupervisedAgent& caller) {
        for (long i = 0; i < count; ++i)
            if (const long status = CheckTexts(applications[i]); status != RPC_S_OK) return status;
        std::vector<ApplicationProcess> reported;
        for (long i = 0; i < count; ++i)
            if (std::optional<ApplicationProcess> process = Admit(caller, applications[i]))
                reported.push_back(std::move(*process));
        *list = registry.open(caller.userName, reported);
        return RPC_S_OK;
    });
}

long ReportStarted(void* list, const RunningApplication& application) {
    return RunProcedure([&](ApplicationRegistry& registry, const SupervisedAgent& caller) {
        if (const long status = CheckTexts(application); status != RPC_S_OK) return status;
        const std::optional<ApplicationProcess> process = Admit(caller, application);
        return !process || registry.started(list, *process) ? RPC_S_OK : RPC_S_OUT_OF_RESOURCES;
    });
}

long ReportStopped(void* list, long processId) {
    return RunProcedure([&](ApplicationRegistry& registry, const SupervisedAgent&) {
        registry.stopped(list, processId);
        return RPC_S_OK;
    });
}

long CloseListForCaller(void* list) {
    return RunProcedure([&](ApplicationRegistry& registry, const SupervisedAgent&) {
        registry.close(list);
        return RPC_S_OK;
    });
}

void RunDownList(void* list) {
    try {
        ManagerCall call;
        if (call) call->registry().close(list);
    } catch (...) {
        // A lost client has no one to tell.
    }
}

}  // namespace brisko

extern "C" {

ApplicationListHandle __cdecl OpenApplicationList(handle_t, LONG count, RunningApplication* applications) {
    void* list = nullptr;
    if (const long status = brisko::OpenListForCaller(count, applications, &list); status != RPC_S_OK)
        ::RpcRaiseException(status);
    return list;
}

void __cdecl ApplicationStarted(ApplicationListHandle list, RunningApplication application) {
    if (const long status = brisko::ReportStarted(list, application); status != RPC_S_OK)
        ::RpcRaiseException(status);
}

void __cdecl ApplicationStopped(ApplicationListHandle list, RunningApplication application) {
    if (const long status = brisko::ReportStopped(list, application.processId); status != RPC_S_OK)
        ::RpcRaiseException(status);
}

void __cdecl CloseApplicationList(ApplicationListHandle* list) {
    if (const long status = brisko::CloseListForCaller(*list); status != RPC_S_OK) ::RpcRaiseException(status);
    *list = nullptr;
}

void __RPC_USER ApplicationListHandle_rundown(ApplicationListHandle list) { brisko::RunDownList(list); }

}  // extern "C"
