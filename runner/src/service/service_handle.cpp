#include "service/service_handle.h"

#include <cwchar>

#include "foundation/failure.h"
#include "foundation/log.h"
#include "registry/system_registry.h"
#include "service/service_settings.h"
#include "unique_handle.h"

namespace {

constexpr DWORD DependentsBudgetMs = 30000;
constexpr DWORD DependentPollFloorMs = 100;

void closeService(ServiceHandle* handle) {
    if (handle->service) ::CloseServiceHandle(handle->service);
    handle->service = nullptr;
    poolFree(handle->config);
    handle->config = nullptr;
    handle->description[0] = L'\0';
    handle->account[0] = L'\0';
}

BOOL serviceHandleCallback(Handle* handle, UINT message, WPARAM, LPARAM) {
    if (message != WM_CLOSE) return TRUE;
    auto* service = reinterpret_cast<ServiceHandle*>(handle);
    closeService(service);
    if (service->manager) ::CloseServiceHandle(service->manager);
    service->manager = nullptr;
    return TRUE;
}

BOOL queryConfig(ServiceHandle* handle) {
    DWORD needed = 0;
    if (!::QueryServiceConfigW(handle->service, nullptr, 0, &needed) &&
        ::GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        LOG_SYSTEM_ERROR();
        return FALSE;
    }
    handle->config = static_cast<QUERY_SERVICE_CONFIGW*>(poolAlloc(MainPool, needed));
    return handle->config && ::QueryServiceConfigW(handle->service, handle->config, needed, &needed);
}

bool isIgnoredDependent(const wchar_t* name) {
    return ::lstrcmpiW(name, L"Tcpip") == 0 || ::lstrcmpiW(name, L"Afd") == 0;
}

// Stops each running dependent and waits until it has stopped; gives up when the whole stop
// has taken more than 30 s. Tcpip and Afd are never stopped.
BOOL stopDependents(ServiceHandle* handle, ULONGLONG startTick) {
    DWORD needed = 0;
    DWORD count = 0;
    if (::EnumDependentServicesW(handle->service, SERVICE_ACTIVE, nullptr, 0, &needed, &count)) return TRUE;
    if (::GetLastError() != ERROR_MORE_DATA) return FALSE;
    auto* dependents = static_cast<ENUM_SERVICE_STATUSW*>(poolAlloc(MainPool, needed));
    if (!dependents) return FALSE;
    BOOL stopped = ::EnumDependentServicesW(handle->service, SERVICE_ACTIVE, dependents, needed, &needed, &count);
    for (DWORD i = 0; stopped && i < count; ++i) {
        if (isIgnoredDependent(dependents[i].lpServiceName)) continue;
        const brisko::UniqueServiceHandle dependent(
            ::OpenServiceW(handle->manager, dependents[i].lpServiceName, SERVICE_STOP | SERVICE_QUERY_STATUS));
        SERVICE_STATUS status{};
        stopped = dependent && ::ControlService(dependent.get(), SERVICE_CONTROL_STOP, &status);
        while (stopped && status.dwCurrentState != SERVICE_STOPPED) {
            const ULONGLONG elapsed = ::GetTickCount64() - startTick;
            if (elapsed > DependentsBudgetMs) {
                stopped = FALSE;
                break;
            }
            // Within what is left of the budget, and never a busy loop on a hint of 0.
            DWORD pause = status.dwWaitHint < DependentPollFloorMs ? DependentPollFloorMs : status.dwWaitHint;
            if (pause > DependentsBudgetMs - elapsed) pause = static_cast<DWORD>(DependentsBudgetMs - elapsed) + 1;
            ::Sleep(pause);
            stopped = ::QueryServiceStatus(dependent.get(), &status);
        }
    }
    poolFree(dependents);
    return stopped;
}

BOOL sendRequest(ServiceHandle* handle, int operation, const SERVICE_STATUS& current, ULONGLONG startTick) {
    SERVICE_STATUS status{};
    switch (operation) {
    case SERVICE_OPERATION_STOP:
        if (!stopDependents(handle, startTick)) return FALSE;
        return ::ControlService(handle->service, SERVICE_CONTROL_STOP, &status);
    case SERVICE_OPERATION_PAUSE: return ::ControlService(handle->service, SERVICE_CONTROL_PAUSE, &status);
    case SERVICE_OPERATION_START:
        if (current.dwCurrentState == SERVICE_PAUSED)
            return ::ControlService(handle->service, SERVICE_CONTROL_CONTINUE, &status);
        return ::StartServiceW(handle->service, 0, nullptr);
    default: ::SetLastError(ERROR_INVALID_PARAMETER); return FALSE;
    }
}

// While the service stays in the pending state: a service whose check point moves on is given
// more time; one that makes no progress for longer than its wait hint is given up on.
void waitWhilePending(ServiceHandle* handle, DWORD pendingState) {
    ::Sleep(100);
    SERVICE_STATUS status{};
    if (!::QueryServiceStatus(handle->service, &status)) return;
    DWORD checkPoint = status.dwCheckPoint;
    ULONGLONG progressTick = ::GetTickCount64();
    while (status.dwCurrentState == pendingState) {
        ::Sleep(pendingPollMs(status.dwWaitHint));
        if (!::QueryServiceStatus(handle->service, &status)) return;
        if (status.dwCheckPoint > checkPoint) {
            checkPoint = status.dwCheckPoint;
            progressTick = ::GetTickCount64();
        } else if (::GetTickCount64() - progressTick > status.dwWaitHint) {
            return;
        }
    }
}

}  // namespace

ServiceHandle* openServiceManager(DWORD access) {
    brisko::UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, access));
    if (!manager) {
        if (::GetLastError() != ERROR_ACCESS_DENIED) LOG_SYSTEM_ERROR();
        return nullptr;
    }
    auto* handle = createTypedHandle<ServiceHandle>(MainPool, HANDLE_TYPE_SERVICE, 0, serviceHandleCallback);
    if (!handle) {
        LOG_ERROR("Failed to Create Handle for Service");
        return nullptr;
    }
    handle->manager = manager.release();
    return handle;
}

BOOL openService(ServiceHandle* handle, const wchar_t* name, DWORD access) {
    closeService(handle);
    handle->service = ::OpenServiceW(handle->manager, name, access);
    if (!handle->service) {
        LOG_SYSTEM_ERROR();
        return FALSE;
    }
    std::wcsncpy(handle->name, name, LongestServiceName);
    handle->name[LongestServiceName] = L'\0';
    if (!readServiceDescription(name, handle->description, sizeof(handle->description)))
        LOG_WARN("Failed to obtain service description");
    if (!readServiceAccount(name, handle->account, sizeof(handle->account)))
        LOG_WARN("Failed to obtain service user name");
    return queryConfig(handle);
}

BOOL createService(ServiceHandle* handle, const wchar_t* name, const wchar_t* displayName, const wchar_t* imagePath,
                   const wchar_t* dependsOn, DWORD serviceType, DWORD startType) {
    if (const wchar_t bad = invalidServiceNameCharacter(name)) {
        LOG_FAILURE(ERROR_INVALID_NAME, "Service '%S' contains invalid character '%C'", name, bad);
        return FALSE;
    }
    if (std::wcslen(name) > LongestServiceName) {
        LOG_FAILURE(ERROR_INVALID_NAME, "Service name too long %S", name);
        return FALSE;
    }
    closeService(handle);
    wchar_t* dependencies = buildDependencies(MainPool, dependsOn);
    handle->service = ::CreateServiceW(handle->manager, name, displayName, SERVICE_ALL_ACCESS, serviceType, startType,
                                       SERVICE_ERROR_NORMAL, imagePath, nullptr, nullptr, dependencies, nullptr,
                                       nullptr);
    poolFree(dependencies);
    if (!handle->service) {
        LOG_FAILURE(::GetLastError(), "Unable to create the service '%S'", name);
        return FALSE;
    }
    std::wcscpy(handle->name, name);
    handle->startType = startType;
    return TRUE;
}

BOOL changeServiceConfig(ServiceHandle* handle, const ServiceChanges& changes) {
    // Another account can only run a service of its own process.
    const DWORD type = changes.account || changes.password ? SERVICE_WIN32_OWN_PROCESS : changes.serviceType;
    const bool anything = type != SERVICE_NO_CHANGE || changes.startType != SERVICE_NO_CHANGE ||
                          changes.replaceDependencies || changes.account || changes.password || changes.displayName;
    if (anything) {
        // The dependencies go with every change, the current ones (read from the service's key,
        // since Wine's manager reports none when queried) when they stay: Wine's manager drops them
        // when the argument is null.
        wchar_t* dependencies = changes.replaceDependencies ? buildDependencies(MainPool, changes.dependsOn)
                                                            : readServiceDependencies(handle->name);
        const BOOL changed =
            ::ChangeServiceConfigW(handle->service, type, changes.startType, SERVICE_NO_CHANGE, nullptr, nullptr,
                                   nullptr, dependencies, changes.account, changes.password, changes.displayName);
        const DWORD error = ::GetLastError();
        poolFree(dependencies);
        if (!changed) {
            LOG_FAILURE(error, "Unable to change the settings of '%S' service", handle->name);
            return FALSE;
        }
    }
    if (!changes.description) return TRUE;
    SERVICE_DESCRIPTIONW text{const_cast<wchar_t*>(changes.description)};
    if (::ChangeServiceConfig2W(handle->service, SERVICE_CONFIG_DESCRIPTION, &text)) return TRUE;
    LOG_FAILURE(::GetLastError(), "Unable to set the description of '%S' service", handle->name);
    return FALSE;
}

BOOL setRestartOnFailure(ServiceHandle* handle) {
    SERVICE_FAILURE_ACTIONSW actions{};
    SC_ACTION restart{};
    fillRestartOnFailure(&actions, &restart);
    return ::ChangeServiceConfig2W(handle->service, SERVICE_CONFIG_FAILURE_ACTIONS, &actions);
}

BOOL controlService(ServiceHandle* handle, int operation) {
    const ULONGLONG startTick = ::GetTickCount64();
    DWORD pendingState = SERVICE_STOP_PENDING;
    DWORD finalState = SERVICE_STOPPED;
    if (operation == SERVICE_OPERATION_PAUSE) {
        pendingState = SERVICE_PAUSE_PENDING;
        finalState = SERVICE_PAUSED;
    } else if (operation == SERVICE_OPERATION_START) {
        pendingState = SERVICE_START_PENDING;
        finalState = SERVICE_RUNNING;
    }
    SERVICE_STATUS status{};
    if (!::QueryServiceStatus(handle->service, &status)) {
        LOG_SYSTEM_ERROR();
        return FALSE;
    }
    // A refused request (the service already is where it was asked to go, for one) is judged by
    // the state it ends in, and gives its reason when the service is not there.
    const BOOL sent = sendRequest(handle, operation, status, startTick);
    const DWORD requestError = sent ? ERROR_SUCCESS : ::GetLastError();
    if (sent) waitWhilePending(handle, pendingState);
    ::Sleep(1000);
    if (!::QueryServiceStatus(handle->service, &status)) return FALSE;
    if (status.dwCurrentState == finalState) return TRUE;
    ::SetLastError(!sent                                     ? requestError
                   : status.dwCurrentState == pendingState ? ERROR_SERVICE_REQUEST_TIMEOUT
                                                           : ERROR_SUCCESS);
    return FALSE;
}

BOOL removeService(ServiceHandle* handle) {
    SERVICE_STATUS status{};
    if (::QueryServiceStatus(handle->service, &status) && status.dwCurrentState != SERVICE_STOPPED)
        controlService(handle, SERVICE_OPERATION_STOP);
    const BOOL deleted = ::DeleteService(handle->service);
    const DWORD error = ::GetLastError();
    closeService(handle);
    if (handle->manager) ::CloseServiceHandle(handle->manager);
    handle->manager = nullptr;
    ::SetLastError(error);
    return deleted;
}
