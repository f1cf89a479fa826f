#include "service/service_commands.h"

#include <cwchar>

#include "foundation/failure.h"
#include "foundation/log.h"
#include "registry/configuration.h"
#include "service/service_handle.h"
#include "service/service_settings.h"

namespace {

constexpr size_t ImagePathChars = 8192;

ServiceHandle* openManagerFor(DWORD access) {
    ServiceHandle* handle = openServiceManager(access);
    if (!handle) LOG_FAILURE(::GetLastError(), "Unable to open the Service Manager");
    return handle;
}

const wchar_t* setOption(OptionIndex index) { return optionIsSet(index) ? optionString(index) : nullptr; }

// A service account's password never reaches the log.
void logAccountSettings() {
    if (optionIsSet(OPTION_SERVICE_USER)) LOG_DEBUG("Setting service user %S", optionString(OPTION_SERVICE_USER));
    if (optionIsSet(OPTION_SERVICE_PASSWORD)) LOG_DEBUG("Setting service password");
}

// The executable (or Install) followed by "//RS//" and the name; it becomes Install, so the
// image path is what the options say.
BOOL prepareImagePath(CommandLine* commandLine) {
    wchar_t executable[ImagePathChars];
    if (optionIsSet(OPTION_INSTALL) && optionString(OPTION_INSTALL) && *optionString(OPTION_INSTALL))
        _snwprintf(executable, ImagePathChars, L"%s", optionString(OPTION_INSTALL));
    else
        _snwprintf(executable, ImagePathChars, L"%s\\%s.exe", commandLine->exeDir, commandLine->exeName);
    executable[ImagePathChars - 1] = L'\0';
    auto* imagePath = static_cast<wchar_t*>(poolAlloc(MainPool, ImagePathChars * sizeof(wchar_t)));
    if (!imagePath || !buildImagePath(executable, commandLine->serviceName, imagePath, ImagePathChars)) return FALSE;
    OptionTable[OPTION_INSTALL].stringValue = imagePath;
    OptionTable[OPTION_INSTALL].flags |= OPT_SET;
    return TRUE;
}

// A service that stopped instead of starting tells why with its exit code.
void noteControlFailure(ServiceHandle* handle, bool start) {
    const DWORD error = ::GetLastError();
    SERVICE_STATUS status{};
    const bool stoppedWithCode = start && ::QueryServiceStatus(handle->service, &status) &&
                                 status.dwCurrentState == SERVICE_STOPPED && status.dwWin32ExitCode != 0;
    if (stoppedWithCode && status.dwWin32ExitCode == ERROR_SERVICE_SPECIFIC_ERROR)
        LOG_FAILURE(0, "Failed to start '%S' service: it stopped with its code %lu", handle->name,
                    status.dwServiceSpecificExitCode);
    else if (stoppedWithCode)
        LOG_FAILURE(status.dwWin32ExitCode, "Failed to start '%S' service", handle->name);
    else
        LOG_FAILURE(error, start ? "Failed to start '%S' service" : "Failed to stop '%S' service", handle->name);
}

BOOL controlCommand(CommandLine* commandLine, int operation) {
    const bool start = operation == SERVICE_OPERATION_START;
    const wchar_t* name = commandLine->serviceName;
    LOG_INFO(start ? "Starting service '%S' ..." : "Stopping service '%S' ...", name);
    ServiceHandle* handle = openManagerFor(GENERIC_ALL);
    if (!handle) return FALSE;
    BOOL done = FALSE;
    if (!openService(handle, name, GENERIC_READ | GENERIC_EXECUTE)) {
        LOG_FAILURE(::GetLastError(), "Unable to open '%S' service", name);
    } else if ((done = controlService(handle, operation))) {
        LOG_INFO(start ? "Service '%S' started" : "Service '%S' stopped", name);
        printMessage(start ? "Service '%S' started." : "Service '%S' stopped.", name);
    } else {
        noteControlFailure(handle, start);
    }
    closeTypedHandle(handle);
    LOG_INFO(start ? "Start service finished." : "Stop service finished.");
    return done;
}

}  // namespace

BOOL installService(CommandLine* commandLine) {
    const wchar_t* name = commandLine->serviceName;
    LOG_DEBUG("Installing service...");
    ServiceHandle* handle = openManagerFor(SC_MANAGER_CREATE_SERVICE);
    if (!handle) return FALSE;
    const DWORD startType = installStartType(setOption(OPTION_STARTUP));
    const DWORD serviceType = serviceTypeFor(setOption(OPTION_TYPE));
    BOOL installed = prepareImagePath(commandLine);
    if (!installed) LOG_FAILURE(::GetLastError(), "No image path for '%S' service", name);
    if (installed) {
        LOG_INFO("Service %S name %S", name, optionString(OPTION_DISPLAY_NAME));
        installed = createService(handle, name, optionString(OPTION_DISPLAY_NAME), optionString(OPTION_INSTALL),
                                  optionString(OPTION_DEPENDS_ON), serviceType, startType);
    }
    if (installed) {
        if (optionIsSet(OPTION_DESCRIPTION))
            LOG_DEBUG("Setting service description %S", optionString(OPTION_DESCRIPTION));
        logAccountSettings();
        ServiceChanges changes{};
        changes.description = setOption(OPTION_DESCRIPTION);
        changes.account = setOption(OPTION_SERVICE_USER);
        changes.password = setOption(OPTION_SERVICE_PASSWORD);
        changes.serviceType = SERVICE_NO_CHANGE;
        changes.startType = SERVICE_NO_CHANGE;
        installed = changeServiceConfig(handle, changes);
        setRestartOnFailure(handle);
    }
    closeTypedHandle(handle);
    if (installed && !saveConfiguration(commandLine)) {
        LOG_FAILURE(::GetLastError(), "Unable to store the options of '%S' service", name);
        installed = FALSE;
    }
    if (installed) {
        LOG_INFO("Service '%S' installed", name);
        printMessage("Service '%S' installed.", name);
        return TRUE;
    }
    LOG_ERROR("Failed installing '%S' service", name);
    return FALSE;
}

BOOL updateService(CommandLine* commandLine) {
    const wchar_t* name = commandLine->serviceName;
    LOG_INFO("Updating service...");
    ServiceHandle* handle = openManagerFor(SC_MANAGER_CREATE_SERVICE);
    if (!handle) return FALSE;
    if (!openService(handle, name, SERVICE_ALL_ACCESS)) {
        closeTypedHandle(handle);
        return installService(commandLine);
    }
    logAccountSettings();
    // Only what this run sets is changed, DependsOn included; the rest stays as the manager has it.
    ServiceChanges changes{};
    changes.displayName = setOption(OPTION_DISPLAY_NAME);
    changes.description = setOption(OPTION_DESCRIPTION);
    changes.account = setOption(OPTION_SERVICE_USER);
    changes.password = setOption(OPTION_SERVICE_PASSWORD);
    changes.serviceType = optionIsSet(OPTION_TYPE) ? serviceTypeFor(optionString(OPTION_TYPE)) : SERVICE_NO_CHANGE;
    changes.startType = optionIsSet(OPTION_STARTUP) ? updateStartType(optionString(OPTION_STARTUP)) : SERVICE_NO_CHANGE;
    changes.replaceDependencies = optionIsSet(OPTION_DEPENDS_ON);
    changes.dependsOn = optionString(OPTION_DEPENDS_ON);
    BOOL updated = changeServiceConfig(handle, changes);
    LOG_INFO("Service '%S' updated", name);
    if (updated && !saveConfiguration(commandLine)) {
        LOG_FAILURE(::GetLastError(), "Unable to store the options of '%S' service", name);
        updated = FALSE;
    }
    closeTypedHandle(handle);
    if (updated) {
        LOG_INFO("Update service finished.");
        printMessage("Service '%S' updated.", name);
    } else
        LOG_INFO("Update service '%S' failed.", name);
    return updated;
}

BOOL deleteService(CommandLine* commandLine) {
    const wchar_t* name = commandLine->serviceName;
    LOG_INFO("Deleting service...");
    ServiceHandle* handle = openManagerFor(SC_MANAGER_CONNECT);
    if (!handle) return FALSE;
    BOOL deleted = FALSE;
    if (openService(handle, name, SERVICE_ALL_ACCESS)) {
        // A window the service keeps is asked to close first; a hung one does not hold the delete.
        wchar_t windowClass[LongestServiceName + 8];
        _snwprintf(windowClass, LongestServiceName + 8, L"%s_CLASS", name);
        windowClass[LongestServiceName + 7] = L'\0';
        if (const HWND window = ::FindWindowW(windowClass, nullptr))
            ::SendMessageTimeoutW(window, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
        deleted = removeService(handle);
    }
    if (deleted) {
        deleteServiceRegistry(name);
        LOG_DEBUG("Service '%S' deleted", name);
        printMessage("Service '%S' deleted.", name);
    } else {
        LOG_FAILURE(::GetLastError(), "Unable to delete '%S' service", name);
    }
    closeTypedHandle(handle);
    LOG_INFO("Delete service finished.");
    return deleted;
}

BOOL startService(CommandLine* commandLine) { return controlCommand(commandLine, SERVICE_OPERATION_START); }

BOOL stopService(CommandLine* commandLine) { return controlCommand(commandLine, SERVICE_OPERATION_STOP); }
