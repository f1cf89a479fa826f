#include "process/process_handle.h"

#include <cstdio>
#include <cwchar>

#include "foundation/log.h"
#include "foundation/std_write.h"
#include "foundation/worker_exit.h"
#include "process/command_line.h"
#include "proc_address.h"
#include "unique_handle.h"

namespace {

typedef HANDLE(WINAPI* CreateRemoteThreadFunction)(HANDLE, SECURITY_ATTRIBUTES*, SIZE_T, LPTHREAD_START_ROUTINE,
                                                   void*, DWORD, DWORD*);

bool isProcessHandle(const ProcessHandle* handle) { return handle && handle->head.type == HANDLE_TYPE_PROCESS; }

void closeKernelHandle(HANDLE* value) {
    if (*value && *value != INVALID_HANDLE_VALUE) ::CloseHandle(*value);
    *value = nullptr;
}

void setState(ProcessHandle* handle, LONG bits) { ::InterlockedOr(&handle->state, bits); }
void clearState(ProcessHandle* handle, LONG bits) { ::InterlockedAnd(&handle->state, ~bits); }
bool hasState(const ProcessHandle* handle, LONG bits) { return (handle->state & bits) != 0; }

// Unbuffered: the standard streams are usually files, and nothing of the child's output may wait.
void writeToStandardStream(ProcessHandle*, BOOL fromError, char byte) {
    writeStandardStream(fromError ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE, &byte, 1);
}

struct ReaderStart {
    ProcessHandle* handle;
    BOOL fromError;
};

DWORD WINAPI readerThread(void* parameter) {
    auto* start = static_cast<ReaderStart*>(parameter);
    ProcessHandle* handle = start->handle;
    const BOOL fromError = start->fromError;
    poolFree(start);
    const HANDLE pipe = fromError ? handle->error : handle->output;
    char byte = 0;
    DWORD read = 0;
    while (hasState(handle, PROCESS_RUNNING) && ::ReadFile(pipe, &byte, 1, &read, nullptr) && read == 1) {
        handle->outputCallback(handle, fromError, byte);
        ::SwitchToThread();
    }
    return 0;
}

DWORD WINAPI waiterThread(void* parameter) {
    auto* handle = static_cast<ProcessHandle*>(parameter);
    // A console child answers at once.
    ::WaitForInputIdle(handle->process, INFINITE);
    setState(handle, PROCESS_IDLE);
    ::WaitForSingleObject(handle->process, INFINITE);
    setState(handle, PROCESS_EXITED);
    DWORD code = 0;
    ::GetExitCodeProcess(handle->process, &code);
    LOG_DEBUG("Child process exit code %d", static_cast<int>(code));
    setWorkerExitCode(static_cast<LONG>(code));
    return 0;
}

HANDLE startReader(ProcessHandle* handle, BOOL fromError) {
    auto* start = static_cast<ReaderStart*>(poolAlloc(handle->head.pool, sizeof(ReaderStart)));
    if (!start) return nullptr;
    start->handle = handle;
    start->fromError = fromError;
    const HANDLE thread = ::CreateThread(nullptr, 0, readerThread, start, 0, nullptr);
    if (!thread) poolFree(start);
    return thread;
}

bool isActive(HANDLE process) {
    DWORD code = 0;
    return ::GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
}

// ExitProcess run inside the child lets it shut down as if it had ended itself.
bool exitInsideChild(ProcessHandle* handle) {
    const HMODULE kernel = ::GetModuleHandleW(L"KERNEL32");
    const auto createRemoteThread = brisko::procAddress<CreateRemoteThreadFunction>(kernel, "CreateRemoteThread");
    const auto exitProcess = brisko::procAddress<LPTHREAD_START_ROUTINE>(kernel, "ExitProcess");
    brisko::UniqueHandle child;
    if (!createRemoteThread || !exitProcess ||
        !::DuplicateHandle(handle->ownProcess, handle->process, handle->ownProcess, child.put(), PROCESS_ALL_ACCESS,
                           FALSE, 0))
        return false;
    const brisko::UniqueHandle thread(createRemoteThread(child.get(), nullptr, 0, exitProcess,
                                                         reinterpret_cast<void*>(static_cast<UINT_PTR>(EndedChildExitCode)),
                                                         0, nullptr));
    return thread && ::WaitForSingleObject(handle->process, ExitProcessGraceMs) == WAIT_OBJECT_0;
}

// End of input first, then ExitProcess inside the child, then termination.
void endChild(ProcessHandle* handle) {
    if (!hasState(handle, PROCESS_RUNNING) || !handle->process) return;
    if (isActive(handle->process)) {
        closeKernelHandle(&handle->input);
        ::WaitForSingleObject(handle->process, EndOfInputGraceMs);
    }
    if (isActive(handle->process) && !exitInsideChild(handle) && isActive(handle->process))
        ::TerminateProcess(handle->process, EndedChildExitCode);
    clearState(handle, PROCESS_RUNNING);
}

void waitForThreads(ProcessHandle* handle) {
    for (HANDLE thread : {handle->outputReader, handle->errorReader, handle->waiter}) {
        if (thread) ::WaitForSingleObject(thread, INFINITE);
    }
}

// Also sent to a handle that stays open (an immediate stop), so every step can run twice.
BOOL processHandleCallback(Handle* head, UINT message, WPARAM, LPARAM) {
    if (message != WM_CLOSE) return TRUE;
    auto* handle = reinterpret_cast<ProcessHandle*>(head);
    endChild(handle);
    waitForThreads(handle);
    for (HANDLE* value : {&handle->process, &handle->input, &handle->output, &handle->error, &handle->childInput,
                          &handle->childOutput, &handle->childError, &handle->outputReader, &handle->errorReader,
                          &handle->waiter, &handle->userToken, &handle->ownProcess})
        closeKernelHandle(value);
    for (wchar_t** text : {&handle->executable, &handle->commandLine, &handle->workingDirectory}) {
        poolFree(*text);
        *text = nullptr;
    }
    if (handle->environment) ::FreeEnvironmentStringsW(handle->environment);
    handle->environment = nullptr;
    return TRUE;
}

BOOL logOnUser(const wchar_t* user, const wchar_t* password, HANDLE* primaryToken) {
    brisko::UniqueHandle logon;
    if (!::LogonUserW(user, nullptr, password, LOGON32_LOGON_NETWORK, LOGON32_PROVIDER_DEFAULT, logon.put())) {
        LOG_SYSTEM_ERROR();
        return FALSE;
    }
    brisko::UniqueHandle primary;
    if (!::DuplicateTokenEx(logon.get(), TOKEN_ASSIGN_PRIMARY | TOKEN_DUPLICATE | TOKEN_QUERY, nullptr,
                            SecurityImpersonation, TokenPrimary, primary.put())) {
        LOG_SYSTEM_ERROR();
        return FALSE;
    }
    if (!::ImpersonateLoggedOnUser(primary.get())) {
        LOG_SYSTEM_ERROR();
        return FALSE;
    }
    *primaryToken = primary.release();
    return TRUE;
}

// The runner's ends are not inherited, so the child holds only its own ends and sees its input
// close when the runner closes it.
BOOL createPipes(ProcessHandle* handle) {
    if (!::CreatePipe(&handle->childInput, &handle->input, &handle->securityAttributes, 0) ||
        !::SetHandleInformation(handle->input, HANDLE_FLAG_INHERIT, 0) ||
        !::CreatePipe(&handle->output, &handle->childOutput, &handle->securityAttributes, 0) ||
        !::SetHandleInformation(handle->output, HANDLE_FLAG_INHERIT, 0) ||
        !::CreatePipe(&handle->error, &handle->childError, &handle->securityAttributes, 0) ||
        !::SetHandleInformation(handle->error, HANDLE_FLAG_INHERIT, 0)) {
        LOG_SYSTEM_ERROR();
        return FALSE;
    }
    return TRUE;
}

void closePipes(ProcessHandle* handle) {
    for (HANDLE* value :
         {&handle->input, &handle->output, &handle->error, &handle->childInput, &handle->childOutput, &handle->childError})
        closeKernelHandle(value);
}

BOOL replaceText(ProcessHandle* handle, wchar_t** field, const wchar_t* text) {
    poolFree(*field);
    *field = text ? poolStrdup(handle->head.pool, text) : nullptr;
    return !text || *field;
}

}  // namespace

ProcessHandle* createProcessHandle(const wchar_t* user, const wchar_t* password) {
    HANDLE token = nullptr;
    if (user && *user && !logOnUser(user, password, &token)) return nullptr;
    ProcessHandle* handle = createTypedHandle<ProcessHandle>(MainPool, HANDLE_TYPE_PROCESS, HANDLE_FLAG_MESSAGE_THREAD,
                                                             processHandleCallback);
    if (!handle) {
        if (token) ::CloseHandle(token);
        return nullptr;
    }
    handle->userToken = token;
    handle->charSize = 1;
    handle->outputCallback = writeToStandardStream;
    ::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentProcess(), ::GetCurrentProcess(), &handle->ownProcess,
                      PROCESS_ALL_ACCESS, FALSE, 0);
    ::InitializeSecurityDescriptor(&handle->securityDescriptor, SECURITY_DESCRIPTOR_REVISION);
    ::SetSecurityDescriptorDacl(&handle->securityDescriptor, TRUE, nullptr, FALSE);
    handle->securityAttributes = {sizeof(SECURITY_ATTRIBUTES), &handle->securityDescriptor, TRUE};
    return handle;
}

BOOL setExecutable(ProcessHandle* handle, const wchar_t* executable) {
    if (!isProcessHandle(handle) || !executable || !*executable) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return replaceText(handle, &handle->executable, executable);
}

BOOL setArguments(ProcessHandle* handle, const std::vector<std::wstring>& arguments) {
    if (!isProcessHandle(handle) || !handle->executable) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::wstring commandLine = buildCommandLine(handle->executable, arguments);
    ::OutputDebugStringW(handle->executable);
    ::OutputDebugStringW(commandLine.c_str());
    return replaceText(handle, &handle->commandLine, commandLine.c_str());
}

BOOL setWorkingDirectory(ProcessHandle* handle, const wchar_t* directory) {
    if (!isProcessHandle(handle)) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return replaceText(handle, &handle->workingDirectory, directory && *directory ? directory : nullptr);
}

BOOL executeProcess(ProcessHandle* handle) {
    if (!isProcessHandle(handle) || hasState(handle, PROCESS_STARTED) || !handle->executable) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!createPipes(handle)) {
        closePipes(handle);
        return FALSE;
    }
    // The child's ends go straight into its start information: the runner's own standard
    // handles stay as they are.
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.wShowWindow = SW_HIDE;
    startup.hStdInput = handle->childInput;
    startup.hStdOutput = handle->childOutput;
    startup.hStdError = handle->childError;
    handle->environment = ::GetEnvironmentStringsW();
    if (!handle->commandLine && !replaceText(handle, &handle->commandLine, buildCommandLine(handle->executable, {}).c_str()))
        return FALSE;
    const DWORD flags = CREATE_UNICODE_ENVIRONMENT | CREATE_SUSPENDED;
    PROCESS_INFORMATION info{};
    BOOL created;
    if (handle->userToken) {
        wchar_t desktop[] = L"Winsta0\\Default";
        startup.lpDesktop = desktop;
        created = ::CreateProcessAsUserW(handle->userToken, handle->executable, handle->commandLine,
                                         &handle->securityAttributes, nullptr, TRUE, flags, handle->environment,
                                         handle->workingDirectory, &startup, &info);
    } else {
        created = ::CreateProcessW(handle->executable, handle->commandLine, &handle->securityAttributes, nullptr, TRUE,
                                   flags, handle->environment, handle->workingDirectory, &startup, &info);
    }
    const DWORD error = ::GetLastError();
    for (HANDLE* value : {&handle->childInput, &handle->childOutput, &handle->childError}) closeKernelHandle(value);
    if (!created) {
        closePipes(handle);
        ::SetLastError(error);
        return FALSE;
    }
    handle->process = info.hProcess;
    handle->processId = info.dwProcessId;
    setState(handle, PROCESS_RUNNING | PROCESS_STARTED);
    handle->outputReader = startReader(handle, FALSE);
    handle->errorReader = startReader(handle, TRUE);
    ::ResumeThread(info.hThread);
    handle->waiter = ::CreateThread(nullptr, 0, waiterThread, handle, 0, nullptr);
    ::CloseHandle(info.hThread);
    return TRUE;
}

DWORD waitProcess(ProcessHandle* handle, DWORD timeoutMs, BOOL kill) {
    if (!hasState(handle, PROCESS_STARTED)) return 0;
    HANDLE threads[3];
    DWORD count = 0;
    for (HANDLE thread : {handle->outputReader, handle->errorReader, handle->waiter}) {
        if (thread) threads[count++] = thread;
    }
    const DWORD result = count ? ::WaitForMultipleObjects(count, threads, TRUE, timeoutMs) : WAIT_OBJECT_0;
    if (result == WAIT_TIMEOUT && kill) closeHandle(&handle->head);
    return result == WAIT_TIMEOUT || result == WAIT_FAILED ? result : 0;
}
