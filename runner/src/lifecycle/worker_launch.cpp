#include "lifecycle/worker_launch.h"

#include <string>
#include <vector>

#include "foundation/failure.h"
#include "foundation/log.h"
#include "lifecycle/service_run.h"
#include "process/child_arguments.h"

namespace {

std::vector<std::wstring> childArguments(const ChildLaunch& launch) {
    if (launch.mode != WORKER_MODE_JAVA) return listEntries(optionString(launch.params));
    return buildJavaArguments(optionString(launch.className), optionString(OPTION_JVM_OPTIONS),
                              optionNumber(OPTION_JVM_MS), optionNumber(OPTION_JVM_MX), optionNumber(OPTION_JVM_SS),
                              optionString(launch.params), optionString(OPTION_CLASSPATH));
}

}  // namespace

ProcessHandle* launchChild(const ChildLaunch& launch, int* failure) {
    const wchar_t* image = optionString(launch.image);
    if (!image || !*image) {
        LOG_FAILURE(0, "Missing service ImageFile");
        if (!RunState.runningAsService)
            reportError("Service '%S' is missing the ImageFile", RunState.serviceName ? RunState.serviceName : L"unknown");
        *failure = LAUNCH_NO_IMAGE;
        return nullptr;
    }
    ProcessHandle* handle = createProcessHandle(optionString(OPTION_USER), nullptr);
    if (!handle) {
        LOG_FAILURE(::GetLastError(), "%s", launch.createFailed);
        *failure = LAUNCH_NOT_CREATED;
        return nullptr;
    }
    const std::vector<std::wstring> arguments = childArguments(launch);
    const wchar_t* workingPath = optionString(launch.workingPath);
    *failure = 0;
    if (!setExecutable(handle, image)) {
        LOG_FAILURE(::GetLastError(), "Failed setting process executable %S", image);
        *failure = LAUNCH_NO_EXECUTABLE;
    } else if (!setArguments(handle, arguments)) {
        LOG_FAILURE(::GetLastError(), "Failed setting process arguments (argc=%d)", static_cast<int>(arguments.size()));
        *failure = LAUNCH_NO_ARGUMENTS;
    } else if (!setWorkingDirectory(handle, workingPath)) {
        LOG_FAILURE(::GetLastError(), "Failed setting process working path to %S", workingPath);
        *failure = LAUNCH_NO_WORKING_PATH;
    } else if (!executeProcess(handle)) {
        LOG_FAILURE(::GetLastError(), "%s", launch.executeFailed);
        *failure = LAUNCH_NOT_EXECUTED;
    }
    if (!*failure) return handle;
    closeTypedHandle(handle);
    return nullptr;
}
