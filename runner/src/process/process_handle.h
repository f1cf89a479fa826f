#pragma once
// A worker that is a process of its own: started hidden (as another user when one is named) in a
// job that ends it and every process it starts once the runner lets go of it, its output copied
// byte for byte into the runner's standard output and error, and ended in three escalating steps
// when it does not go by itself.
#include <windows.h>

#include <string>
#include <vector>

#include "foundation/pool.h"
#include "unique_handle.h"

enum ProcessState : LONG {
    PROCESS_RUNNING = 1,
    PROCESS_IDLE = 2,
    PROCESS_EXITED = 4,
    PROCESS_STARTED = 8,
    // The runner had to end the child: with ExitProcess run inside it, or by termination.
    PROCESS_ENDED_BY_RUNNER = 0x10,
    // The child has ended and the readers were told to stop waiting for more output.
    PROCESS_READERS_STOPPED = 0x20,
};

// The exit code of a child the runner had to end.
constexpr DWORD EndedChildExitCode = 19640323;
// How long a child that does not go is given after the end of its input, and then after
// ExitProcess was run inside it; the longest it takes to end one.
constexpr DWORD EndOfInputGraceMs = 1000;
constexpr DWORD ExitProcessGraceMs = 2000;
constexpr DWORD LongestChildEndingMs = EndOfInputGraceMs + ExitProcessGraceMs;
// How long the output readers go on once the child has ended: a process the child started may
// hold the pipes open for ever, and its output is not waited for beyond this.
constexpr DWORD OutputDrainMs = 2000;

struct ProcessHandle;
// Called for every byte the child writes; fromError tells which pipe it came through.
typedef void (*ProcessOutputCallback)(ProcessHandle* handle, BOOL fromError, char byte);

// Standard input, output and error: the child's ends of the pipes, or the runner's.
struct PipeEnds {
    brisko::UniqueHandle input;
    brisko::UniqueHandle output;
    brisko::UniqueHandle error;
};

// The kernel objects of one child, each with its one owner. They live in the record from its
// making to its final close; a close message that keeps the record leaves them, since other
// threads may still wait on them.
struct ChildObjects {
    brisko::UniqueHandle userToken;
    brisko::UniqueHandle ownProcess;
    // Kill on close: the child and all it started go with it.
    brisko::UniqueHandle job;
    brisko::UniqueHandle process;
    // Inherited by the child, and closed in the runner once the child holds them.
    PipeEnds child;
    PipeEnds runner;
    brisko::UniqueHandle outputReader;
    brisko::UniqueHandle errorReader;
    brisko::UniqueHandle waiter;
};

struct ProcessHandle {
    Handle head;
    volatile LONG state;
    DWORD charSize;
    wchar_t* executable;
    wchar_t* commandLine;
    wchar_t* workingDirectory;
    // Inheritable, with the default descriptor: the pipe ends pass to the child, and only the
    // runner's account and the administrators may open what is made with them.
    SECURITY_ATTRIBUTES securityAttributes;
    DWORD processId;
    wchar_t* environment;
    ProcessOutputCallback outputCallback;
    ChildObjects objects;
};

// A user name logs that user on (without a password) for the child; null runs it as the runner.
ProcessHandle* createProcessHandle(const wchar_t* user, const wchar_t* password);
BOOL setExecutable(ProcessHandle* handle, const wchar_t* executable);
BOOL setArguments(ProcessHandle* handle, const std::vector<std::wstring>& arguments);
BOOL setWorkingDirectory(ProcessHandle* handle, const wchar_t* directory);
BOOL executeProcess(ProcessHandle* handle);
// 0 once the child and both output readers ended (at once for a child never started),
// WAIT_TIMEOUT while they run; with kill, a child still running after the time-out is ended
// (the record stays until it is closed).
DWORD waitProcess(ProcessHandle* handle, DWORD timeoutMs, BOOL kill);
// The child did not end by itself: the runner ran ExitProcess inside it or terminated it.
BOOL processWasEndedByRunner(const ProcessHandle* handle);
