#pragma once
// A worker that is a process of its own: started hidden (as another user when one is named),
// its output copied byte for byte into the runner's standard output and error, and ended in
// three escalating steps when it does not go by itself.
#include <windows.h>

#include <string>
#include <vector>

#include "foundation/pool.h"

enum ProcessState : LONG {
    PROCESS_RUNNING = 1,
    PROCESS_IDLE = 2,
    PROCESS_EXITED = 4,
    PROCESS_STARTED = 8,
};

// The exit code of a child the runner had to end.
constexpr DWORD EndedChildExitCode = 19640323;
// How long a child that does not go is given after the end of its input, and then after
// ExitProcess was run inside it; the longest it takes to end one.
constexpr DWORD EndOfInputGraceMs = 1000;
constexpr DWORD ExitProcessGraceMs = 2000;
constexpr DWORD LongestChildEndingMs = EndOfInputGraceMs + ExitProcessGraceMs;

struct ProcessHandle;
// Called for every byte the child writes; fromError tells which pipe it came through.
typedef void (*ProcessOutputCallback)(ProcessHandle* handle, BOOL fromError, char byte);

struct ProcessHandle {
    Handle head;
    volatile LONG state;
    DWORD charSize;
    wchar_t* executable;
    wchar_t* commandLine;
    wchar_t* workingDirectory;
    HANDLE userToken;
    HANDLE ownProcess;
    SECURITY_DESCRIPTOR securityDescriptor;
    SECURITY_ATTRIBUTES securityAttributes;
    // The child's ends of its standard input, output and error pipes (inherited by the child).
    HANDLE childInput;
    HANDLE childOutput;
    HANDLE childError;
    // The runner's ends.
    HANDLE input;
    HANDLE output;
    HANDLE error;
    HANDLE process;
    DWORD processId;
    HANDLE outputReader;
    HANDLE errorReader;
    HANDLE waiter;
    wchar_t* environment;
    ProcessOutputCallback outputCallback;
};

// A user name logs that user on (without a password) for the child; null runs it as the runner.
ProcessHandle* createProcessHandle(const wchar_t* user, const wchar_t* password);
BOOL setExecutable(ProcessHandle* handle, const wchar_t* executable);
BOOL setArguments(ProcessHandle* handle, const std::vector<std::wstring>& arguments);
BOOL setWorkingDirectory(ProcessHandle* handle, const wchar_t* directory);
BOOL executeProcess(ProcessHandle* handle);
// 0 once the child and both output readers ended (at once for a child never started),
// WAIT_TIMEOUT while they run; with kill, a child still running after the time-out is ended
// and its handle closed.
DWORD waitProcess(ProcessHandle* handle, DWORD timeoutMs, BOOL kill);
