// The server routines of AgentApplications. The security callback admits only supervised
// agents, but Wine never calls it: every routine checks its caller again, so the gate holds
// wherever the service runs. Refusals and failures reach the client as RPC faults; they are
// raised from the routines' outer frames, where no C++ object is alive.
#include <AgentApplications.h>

#include <new>

#include "agent_manager/agent_manager_impl.h"
#include "agent_rpc/caller_process.h"

namespace brisko {

namespace {

std::wstring Text(const wchar_t* text) { return text ? text : L""; }

ApplicationProcess ToProcess(const RunningApplication& application) {
    return {application.processId, Text(application.applicationId), Text(application.applicationName)};
}

// The supervised agent that calls, with the user name it was launched under.
bool IdentifyCaller(std::wstring* userName) {
    const long processId = QueryCallerProcessId();
    return AdmitCaller(processId, [&](DWORD id) { return FindSupervisedAgent(id, userName); }) == RPC_S_OK;
}

template <typename Body>
long RunProcedure(Body&& body) {
    try {
        ManagerCall call;
        std::wstring userName;
        if (!call || !IdentifyCaller(&userName)) return RPC_S_ACCESS_DENIED;
        body(call->registry(), userName);
        return RPC_S_OK;
    } catch (const std::bad_alloc&) {
        return RPC_S_OUT_OF_MEMORY;
    } catch (...) {
        return RPC_S_INTERNAL_ERROR;
    }
}

}  // namespace

long OpenListForCaller(long count, const RunningApplication* applications, void** list) {
    return RunProcedure([&](ApplicationRegistry& registry, const std::wstring& userName) {
        std::vector<ApplicationProcess> reported;
        for (long i = 0; i < count; ++i) reported.push_back(ToProcess(applications[i]));
        *list = registry.open(userName, reported);
    });
}

long ReportStarted(void* list, const RunningApplication& application) {
    return RunProcedure([&](ApplicationRegistry& registry, const std::wstring&) {
        registry.started(list, ToProcess(application));
    });
}

long ReportStopped(void* list, long processId) {
    return RunProcedure([&](ApplicationRegistry& registry, const std::wstring&) { registry.stopped(list, processId); });
}

long CloseListForCaller() {
    return RunProcedure([](ApplicationRegistry& registry, const std::wstring&) { registry.close(); });
}

void RunDownList() {
    try {
        ManagerCall call;
        if (call) call->registry().close();
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
    if (const long status = brisko::CloseListForCaller(); status != RPC_S_OK) ::RpcRaiseException(status);
    *list = nullptr;
}

void __RPC_USER ApplicationListHandle_rundown(ApplicationListHandle) { brisko::RunDownList(); }

}  // extern "C"
