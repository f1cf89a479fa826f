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

namespace brisko {

namespace {

// The supervised agent that calls, with the user name it was launched under.
struct Caller {
    DWORD processId = 0;
    std::wstring userName;
};

std::optional<Caller> IdentifyCaller() {
    const long processId = QueryCallerProcessId();
    Caller caller;
    if (AdmitCaller(processId, [&](DWORD id) { return FindSupervisedAgent(id, &caller.userName); }) != RPC_S_OK)
        return std::nullopt;
    caller.processId = static_cast<DWORD>(processId);
    return caller;
}

std::wstring Text(const wchar_t* text) { return text ? text : L""; }

// The reported process as the registry keeps it; none for a process the service must not act
// on for this caller, which is then neither decided nor listed.
std::optional<ApplicationProcess> Admit(const Caller& caller, const RunningApplication& application) {
    const std::optional<uint64_t> createdAt = StampReportedProcess(caller.processId, application.processId);
    if (!createdAt) return std::nullopt;
    return ApplicationProcess{application.processId, Text(application.applicationId),
                              Text(application.applicationName), *createdAt};
}

template <typename Body>
long RunProcedure(Body&& body) {
    try {
        ManagerCall call;
        if (!call) return RPC_S_ACCESS_DENIED;
        const std::optional<Caller> caller = IdentifyCaller();
        if (!caller) return RPC_S_ACCESS_DENIED;
        body(call->registry(), *caller);
        return RPC_S_OK;
    } catch (const std::bad_alloc&) {
        return RPC_S_OUT_OF_MEMORY;
    } catch (...) {
        return RPC_S_INTERNAL_ERROR;
    }
}

}  // namespace

long OpenListForCaller(long count, const RunningApplication* applications, void** list) {
    return RunProcedure([&](ApplicationRegistry& registry, const Caller& caller) {
        std::vector<ApplicationProcess> reported;
        for (long i = 0; i < count; ++i)
            if (std::optional<ApplicationProcess> process = Admit(caller, applications[i]))
                reported.push_back(std::move(*process));
        *list = registry.open(caller.userName, reported);
    });
}

long ReportStarted(void* list, const RunningApplication& application) {
    return RunProcedure([&](ApplicationRegistry& registry, const Caller& caller) {
        if (const std::optional<ApplicationProcess> process = Admit(caller, application))
            registry.started(list, *process);
    });
}

long ReportStopped(void* list, long processId) {
    return RunProcedure([&](ApplicationRegistry& registry, const Caller&) { registry.stopped(list, processId); });
}

long CloseListForCaller(void* list) {
    return RunProcedure([&](ApplicationRegistry& registry, const Caller&) { registry.close(list); });
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
