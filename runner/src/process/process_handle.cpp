#include "process/process_handle.h"

#include <cwchar>
#include <new>
#include <utility>

#include "foundation/log.h"
#include "foundation/std_write.h"
#include "foundation/worker_exit.h"
#include "proc_address.h"
#include "process/command_line.h"

namespace {

typedef HANDLE(WINAPI* CreateRemoteThreadFunction)(HANDLE, SECURITY_ATTRIBUTES*, SIZE_T, LPTHREAD_START_ROUTINE,
                                                   void*, DWORD, DWORD*);

// A reader whose read is cancelled gets this many tries, each followed by a short wait, to
// notice; after them it is ended.
constexpr int ReaderCancelAttempts = 100;
constexpr DWORD ReaderCancelWaitMs = 50;

bool isProcessHandle(const ProcessHandle* handle) { return handle && handle->head.type == HANDLE_TYPE_PROCESS; }

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
    const HANDLE pipe = fromError ? handle->objects.runner.error.get() : handle->objects.runner.output.get();
    char byte = 0;
    DWORD read = 0;
    while (hasState(handle, PROCESS_RUNNING) && !hasState(handle, PROCESS_READERS_STOPPED) &&
           ::ReadFile(pipe, &byte, 1, &read, nullptr) && read == 1) {
        handle->outputCallback(handle, fromError, byte);
        ::SwitchToThread();
    }
    return 0;
}

// Readers of pipes that a process the child started still holds open would wait for ever: once
// the drain time has passed, their pending read is cancelled until they notice the stop.
void stopReaders(ProcessHandle* handle, DWORD drainMs) {
    HANDLE readers[2];
    DWORD count = 0;
    for (const brisko::UniqueHandle* reader : {&handle->objects.outputReader, &handle->objects.errorReader}) {
        if (*reader) readers[count++] = reader->get();
    }
    if (!count || ::WaitForMultipleObjects(count, readers, TRUE, drainMs) != WAIT_TIMEOUT) return;
    setState(handle, PROCESS_READERS_STOPPED);
    for (DWORD i = 0; i < count; ++i) {
        int attempt = 0;
        for (; attempt < ReaderCancelAttempts && ::WaitForSingleObject(readers[i], 0) == WAIT_TIMEOUT; ++attempt) {
            ::CancelSynchronousIo(readers[i]);
            ::WaitForSingleObject(readers[i], ReaderCancelWaitMs);
        }
        if (attempt == ReaderCancelAttempts && ::WaitForSingleObject(readers[i], 0) == WAIT_TIMEOUT) {
            LOG_WARN("An output reader of the child did not stop; it is ended");
            ::TerminateThread(readers[i], 0);
        }
    }
}

DWORD WINAPI waiterThread(void* parameter) {
    auto* handle = static_cast<ProcessHandle*>(parameter);
    const HANDLE process = handle->objects.process.get();
    // A console child answers at once.
    ::WaitForInputIdle(process, INFINITE);
    setState(handle, PROCESS_IDLE);
    ::WaitForSingleObject(process, INFINITE);
    setState(handle, PROCESS_EXITED);
    DWORD code = 0;
    ::GetExitCodeProcess(process, &code);
    LOG_DEBUG("Child process exit code %d", static_cast<int>(code));
    setWorkerExitCode(static_cast<LONG>(code));
    stopReaders(handle, OutputDrainMs);
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
    const HANDLE own = handle->objects.ownProcess.get();
    brisko::UniqueHandle child;
    if (!createRemoteThread || !exitProcess ||
        !::DuplicateHandle(own, handle->objects.process.get(), own, child.put(), PROCESS_ALL_ACCESS, FALSE, 0))
        return false;
    const brisko::UniqueHandle thread(createRemoteThread(child.get(), nullptr, 0, exitProcess,
                                                         reinterpret_cast<void*>(static_cast<UINT_PTR>(EndedChildExitCode)),
                                                         0, nullptr));
    return thread && ::WaitForSingleObject(child.get(), ExitProcessGraceMs) == WAIT_OBJECT_0;
}

// End of input first, then ExitProcess inside the child, then termination.
void endChild(ProcessHandle* handle) {
    const HANDLE process = handle->objects.process.get();
    if (!hasState(handle, PROCESS_RUNNING) || !process) return;
    if (isActive(process)) {
        handle->objects.runner.input.reset();
        ::WaitForSingleObject(process, EndOfInputGraceMs);
    }
    if (isActive(process)) {
        setState(handle, PROCESS_ENDED_BY_RUNNER);
        if (!exitInsideChild(handle) && isActive(process)) ::TerminateProcess(process, EndedChildExitCode);
    }
    clearState(handle, PROCESS_RUNNING);
}

// Each of them ends once the child has: the waiter after the drain, the readers when they are
// stopped.
void waitForThreads(ProcessHandle* handle) {
    for (const brisko::UniqueHandle* thread :
         {&handle->objects.outputReader, &handle->objects.errorReader, &handle->objects.waiter}) {
        if (*thread) ::WaitForSingleObject(thread->get(), INFINITE);
    }
}

void freeText(wchar_t** text) {
    poolFree(*text);
    *text = nullptr;
}

// Also sent to a handle that stays open (an immediate stop), so every step can run twice.
BOOL processHandleCallback(Handle* head, UINT message, WPARAM, LPARAM) {
    if (message != WM_CLOSE) return TRUE;
    auto* handle = reinterpret_cast<ProcessHandle*>(head);
    endChild(handle);
    waitForThreads(handle);
    if (!handleIsClosing(head)) return TRUE;
    // Closing the job ends whatever the child left running.
    handle->objects = ChildObjects{};
    for (wchar_t** text : {&handle->executable, &handle->commandLine, &handle->workingDirectory}) freeText(text);
    if (handle->environment) ::FreeEnvironmentStringsW(handle->environment);
    handle->environment = nullptr;
    return TRUE;
}

BOOL logOnUser(const wchar_t* user, const wchar_t* password, brisko::UniqueHandle* primaryToken) {
    brisko::UniqueHandle logon;
    if (!::LogonUserW(user, nullptr, password, LOGON32_LOGON_NETWORK, LOGON32_PROVIDER_DEFAULT, logon.put())) {
        LOG_SYSTEM_ERROR();
        return FALSE;
    }
    if (!::DuplicateTokenEx(logon.get(), TOKEN_ASSIGN_PRIMARY | TOKEN_DUPLICATE | TOKEN_QUERY, nullptr,
                            SecurityImpersonation, TokenPrimary, primaryToken->put())) {
        LOG_SYSTEM_ERROR();
        return FALSE;
    }
    return TRUE;
}

// The runner's ends are not inherited, so the child holds only its own ends and sees its input
// close when the runner closes it.
BOOL createPipes(ProcessHandle* handle) {
    PipeEnds& child = handle->objects.child;
    PipeEnds& runner = handle->objects.runner;
    SECURITY_ATTRIBUTES* inherit = &handle->securityAttributes;
    if (!::CreatePipe(child.input.put(), runner.input.put(), inherit, 0) ||
        !::SetHandleInformation(runner.input.get(), HANDLE_FLAG_INHERIT, 0) ||
        !::CreatePipe(runner.output.put(), child.output.put(), inherit, 0) ||
        !::SetHandleInformation(runner.output.get(), HANDLE_FLAG_INHERIT, 0) ||
        !::CreatePipe(runner.error.put(), child.error.put(), inherit, 0) ||
        !::SetHandleInformation(runner.error.get(), HANDLE_FLAG_INHERIT, 0)) {
        LOG_SYSTEM_ERROR();
        return FALSE;
    }
    return TRUE;
}

// Without a job the child still runs; it then outlives a runner that is ended.
void createJob(ProcessHandle* handle) {
    brisko::UniqueHandle job(::CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!job || !::SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof(limits))) {
        LOG_WARN("No job for the child process; it may outlive the runner");
        return;
    }
    handle->objects.job = std::move(job);
}

BOOL createChild(ProcessHandle* handle, STARTUPINFOW* startup, PROCESS_INFORMATION* info) {
    const DWORD flags = CREATE_UNICODE_ENVIRONMENT | CREATE_SUSPENDED;
    const HANDLE token = handle->objects.userToken.get();
    if (!token)
        return ::CreateProcessW(handle->executable, handle->commandLine, nullptr, nullptr, TRUE, flags,
                                handle->environment, handle->workingDirectory, startup, info);
    // As the user only for the call itself: the calling thread is itself again afterwards.
    if (!::ImpersonateLoggedOnUser(token)) return FALSE;
    wchar_t desktop[] = L"Winsta0\\Default";
    startup->lpDesktop = desktop;
    const BOOL created = ::CreateProcessAsUserW(token, handle->executable, handle->commandLine, nullptr, nullptr, TRUE,
                                                flags, handle->environment, handle->workingDirectory, startup, info);
    const DWORD error = ::GetLastError();
    startup->lpDesktop = nullptr;
    ::RevertToSelf();
    ::SetLastError(error);
    return created;
}

BOOL replaceText(ProcessHandle* handle, wchar_t** field, const wchar_t* text) {
    poolFree(*field);
    *field = text ? poolStrdup(handle->head.pool, text) : nullptr;
    return !text || *field;
}

}  // namespace

ProcessHandle* createProcessHandle(const wchar_t* user, const wchar_t* password) {
    brisko::UniqueHandle token;
    if (user && *user && !logOnUser(user, password, &token)) return nullptr;
    ProcessHandle* handle = createTypedHandle<ProcessHandle>(MainPool, HANDLE_TYPE_PROCESS, HANDLE_FLAG_MESSAGE_THREAD,
                                                             processHandleCallback);
    if (!handle) return nullptr;
    // The record is zero-filled pool memory: its owners are made in place, and the final close
    // leaves them all empty.
    new (&handle->objects) ChildObjects{};
    handle->objects.userToken = std::move(token);
    handle->charSize = 1;
    handle->outputCallback = writeToStandardStream;
    ::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentProcess(), ::GetCurrentProcess(),
                      handle->objects.ownProcess.put(), PROCESS_ALL_ACCESS, FALSE, 0);
    handle->securityAttributes = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
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
    ChildObjects& objects = handle->objects;
    if (!createPipes(handle)) {
        const DWORD error = ::GetLastError();
        objects.child = {};
        objects.runner = {};
        ::SetLastError(error);
        return FALSE;
    }
    createJob(handle);
    // The child's ends go straight into its start information: the runner's own standard
    // handles stay as they are.
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.wShowWindow = SW_HIDE;
    startup.hStdInput = objects.child.input.get();
    startup.hStdOutput = objects.child.output.get();
    startup.hStdError = objects.child.error.get();
    handle->environment = ::GetEnvironmentStringsW();
    if (!handle->commandLine && !replaceText(handle, &handle->commandLine, buildCommandLine(handle->executable, {}).c_str()))
        return FALSE;
    PROCESS_INFORMATION info{};
    const BOOL created = createChild(handle, &startup, &info);
    const DWORD error = ::GetLastError();
    objects.child = {};
    if (!created) {
        objects.runner = {};
        objects.job.reset();
        ::SetLastError(error);
        return FALSE;
    }
    objects.process.reset(info.hProcess);
    const brisko::UniqueHandle mainThread(info.hThread);
    handle->processId = info.dwProcessId;
    // Before the child runs, so that whatever it starts is in the job as well.
    if (objects.job && !::AssignProcessToJobObject(objects.job.get(), objects.process.get())) {
        LOG_WARN("The child process is in no job; it may outlive the runner");
        objects.job.reset();
    }
    setState(handle, PROCESS_RUNNING | PROCESS_STARTED);
    objects.outputReader.reset(startReader(handle, FALSE));
    objects.errorReader.reset(startReader(handle, TRUE));
    ::ResumeThread(mainThread.get());
    objects.waiter.reset(::CreateThread(nullptr, 0, waiterThread, handle, 0, nullptr));
    return TRUE;
}

DWORD waitProcess(ProcessHandle* handle, DWORD timeoutMs, BOOL kill) {
    if (!hasState(handle, PROCESS_STARTED)) return 0;
    HANDLE threads[3];
    DWORD count = 0;
    for (const brisko::UniqueHandle* thread :
         {&handle->objects.outputReader, &handle->objects.errorReader, &handle->objects.waiter}) {
        if (*thread) threads[count++] = thread->get();
    }
    const DWORD result = count ? ::WaitForMultipleObjects(count, threads, TRUE, timeoutMs) : WAIT_OBJECT_0;
    if (result == WAIT_TIMEOUT && kill) sendCloseToHandle(&handle->head);
    return result == WAIT_TIMEOUT || result == WAIT_FAILED ? result : 0;
}

BOOL processWasEndedByRunner(const ProcessHandle* handle) {
    return isProcessHandle(handle) && hasState(handle, PROCESS_ENDED_BY_RUNNER);
}
