#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

#include "foundation/failure.h"
#include "foundation/log.h"
#include "foundation/log_names.h"
#include "foundation/std_streams.h"
#include "foundation/worker_exit.h"
#include "java/java_worker.h"
#include "lifecycle/service_main.h"
#include "lifecycle/service_run.h"
#include "lifecycle/worker_launch.h"
#include "options/options.h"
#include "process/process_handle.h"

namespace {

constexpr size_t PidPathChars = 4096;
constexpr size_t EnvironmentChars = 32767;
// A worker that failed before its call is on its way out once it has said so.
constexpr DWORD WorkerEndWaitMs = 5000;

// A child worker's failures are numbered by the step of its launch (lifecycle/worker_launch.h).
enum StartFailure {
    START_FAILED = 1,
    START_JAVA_FAILED = 4,
};

void startExitHook() {
    if (!RunState.runningAsService) return;
    LOG_DEBUG("Start exit hook called ...");
    LOG_DEBUG("VM exit code: %d", static_cast<int>(processExitCode()));
    if (processExitCode() == 0) reportServiceStopped(0);
}

void setEnvironment(const wchar_t* name, const wchar_t* value) {
    ::SetEnvironmentVariableW(name, value);
    _wputenv_s(name, value);
}

void prependLibraryPath() {
    const wchar_t* libraryPath = optionString(OPTION_LIBRARY_PATH);
    if (!libraryPath || !*libraryPath) return;
    std::wstring path(EnvironmentChars, L'\0');
    ::SetLastError(ERROR_SUCCESS);
    const DWORD length = ::GetEnvironmentVariableW(L"PATH", path.data(), EnvironmentChars);
    if (length == 0 || length >= EnvironmentChars) {
        if (::GetLastError() != ERROR_ENVVAR_NOT_FOUND) LOG_SYSTEM_ERROR();
        return;
    }
    path.resize(length);
    setEnvironment(L"PATH", (std::wstring(libraryPath) + L";" + path).c_str());
}

// Each NAME=value entry, with environment references expanded, into the runtime's environment
// (which passes it on to the process's).
void addEnvironmentEntries() {
    for (const wchar_t* entry = optionString(OPTION_ENVIRONMENT); entry && *entry; entry += std::wcslen(entry) + 1) {
        std::wstring expanded(EnvironmentChars, L'\0');
        const DWORD length = ::ExpandEnvironmentStringsW(entry, expanded.data(), EnvironmentChars);
        if (length == 0 || length > EnvironmentChars) continue;
        expanded.resize(length - 1);
        const size_t equals = expanded.find(L'=', 1);
        if (equals == std::wstring::npos) continue;
        setEnvironment(expanded.substr(0, equals).c_str(), expanded.c_str() + equals + 1);
    }
}

void prepareEnvironment() {
    prependLibraryPath();
    addEnvironmentEntries();
}

// A stale file is removed; one that cannot be (another runner holds it) stops the start, and so
// does one that cannot be created, before anything is launched. The file lives as long as its
// handle: it goes with the runner.
BOOL openPidFile() {
    const wchar_t* name = optionString(OPTION_PID_FILE);
    if (!name || !*name) return TRUE;
    RunState.pidFile = static_cast<wchar_t*>(poolAlloc(MainPool, PidPathChars * sizeof(wchar_t)));
    if (!RunState.pidFile || !logFilePath(name, optionString(OPTION_LOG_PATH), FALSE, 0, RunState.pidFile, PidPathChars)) {
        LOG_FAILURE(::GetLastError(), "No path for the pid file '%S'", name);
        return FALSE;
    }
    if (::GetFileAttributesW(RunState.pidFile) != INVALID_FILE_ATTRIBUTES && !::DeleteFileW(RunState.pidFile)) {
        LOG_FAILURE(::GetLastError(), "Pid file '%S' exists", RunState.pidFile);
        return FALSE;
    }
    RunState.pidFileHandle = ::CreateFileW(RunState.pidFile, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                           CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (RunState.pidFileHandle == INVALID_HANDLE_VALUE) {
        RunState.pidFileHandle = nullptr;
        LOG_FAILURE(::GetLastError(), "Unable to create pid file '%S'", RunState.pidFile);
        return FALSE;
    }
    return TRUE;
}

void writePidFile(DWORD processId) {
    if (!RunState.pidFileHandle) return;
    char text[32];
    const int length = std::snprintf(text, sizeof(text), "%d\r\n", static_cast<int>(processId));
    DWORD written = 0;
    if (!::WriteFile(RunState.pidFileHandle, text, static_cast<DWORD>(length), &written, nullptr))
        LOG_ERROR("Unable to write pid file '%S'", RunState.pidFile);
    ::FlushFileBuffers(RunState.pidFileHandle);
}

int startJvmWorker() {
    if (!optionString(OPTION_START_PATH) || !*optionString(OPTION_START_PATH))
        OptionTable[OPTION_START_PATH].stringValue = RunState.defaultWorkingDirectory;
    ::SetCurrentDirectoryW(optionString(OPTION_START_PATH));
    prepareEnvironment();
    JavaHandle* handle = createJavaHandle(RunState.jvmPath);
    if (!handle) {
        LOG_FAILURE(::GetLastError(), "Failed creating java %S", RunState.jvmPath ? RunState.jvmPath : L"auto");
        return START_FAILED;
    }
    JavaWorkerParams* call = &RunState.startCall;
    call->handle = handle;
    call->errorFile = RedirectedStreams.error;
    call->outputFile = RedirectedStreams.output;
    std::atexit(startExitHook);
    if (!startJavaWorker(call)) {
        // A worker that ended before its call failed in Java, not in the system: its status (and
        // the log) says at which step, and no system text is given.
        DWORD status = 0;
        if (handle->workerThread && ::WaitForSingleObject(handle->workerThread, WorkerEndWaitMs) == WAIT_OBJECT_0 &&
            ::GetExitCodeThread(handle->workerThread, &status))
            LOG_FAILURE(0, "Failed to start Java (the worker ended with status %d)", static_cast<int>(status));
        else
            LOG_FAILURE(::GetLastError(), "Failed to start Java");
        closeTypedHandle(handle);
        return START_JAVA_FAILED;
    }
    LOG_DEBUG("Java started %s", call->className);
    RunState.worker = &handle->head;
    return 0;
}

int startChildWorker() {
    prepareEnvironment();
    const ChildLaunch launch{RunState.startMode,  OPTION_START_IMAGE,         OPTION_START_PATH,
                             OPTION_START_CLASS,  OPTION_START_PARAMS,        "Failed to create process",
                             "Failed to execute process"};
    int failure = 0;
    ProcessHandle* handle = launchChild(launch, &failure);
    if (!handle) return failure;
    RunState.worker = &handle->head;
    return 0;
}

}  // namespace

int ServiceStart() {
    LOG_INFO("Starting service...");
    if (RunState.worker) return START_FAILED;
    if (!openPidFile()) return START_FAILED;
    const ULONGLONG started = ::GetTickCount64();
    const int result = RunState.startMode == WORKER_MODE_JVM ? startJvmWorker() : startChildWorker();
    if (result) return result;
    writePidFile(RunState.startMode == WORKER_MODE_JVM
                     ? ::GetCurrentProcessId()
                     : reinterpret_cast<ProcessHandle*>(RunState.worker)->processId);
    LOG_INFO("Service started in %d ms.", static_cast<int>(::GetTickCount64() - started));
    return 0;
}
