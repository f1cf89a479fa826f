#pragma once
// A static Java method called on a worker thread of the runner, in a virtual machine the worker
// creates or attaches to.
#include <windows.h>

#include <jni.h>

#include "foundation/pool.h"

struct JavaHandle {
    Handle head;
    JavaVM* vm;
    // Virtual machines that existed when the handle was made (0 or 1).
    jsize existingVmCount;
    JNIEnv* env;
    jint jniVersion;
    jclass stringClass;
    jclass mainClass;
    jmethodID method;
    jobject argument;
    char className[1024];
    char methodName[512];
    HANDLE workerThread;
    DWORD workerThreadId;
    SIZE_T workerStackSize;
    // Set by the worker once the call is about to be made; cleared when the worker ends.
    volatile LONG started;
    HANDLE startedEvent;
    HANDLE goEvent;
};

// What one call needs; filled by the service for its start call and its stop call. Lists are
// packed (entries ended by NUL, then one more NUL).
struct JavaWorkerParams {
    JavaHandle* handle;
    const char* classPath;
    const char* options;
    LONG initialHeapMb;
    LONG maxHeapMb;
    LONG stackKb;
    LONG logJniMessages;
    // Slash form ("java/lang/System").
    const char* className;
    const char* methodName;
    const wchar_t* params;
    const wchar_t* errorFile;
    const wchar_t* outputFile;
    const wchar_t* libraryPath;
};

// Loads the library (a null path: the installed runtime's) and looks for a virtual machine that
// already runs in this process.
JavaHandle* createJavaHandle(const wchar_t* jvmPath);
// Answers once the worker is about to make its call, or has failed before it.
BOOL startJavaWorker(JavaWorkerParams* params);
// 0 when the worker finished (or never got going), WAIT_TIMEOUT when it still runs; with kill,
// a worker still running after the time-out is ended (the record stays until it is closed).
DWORD waitJavaWorker(JavaHandle* handle, DWORD timeoutMs, BOOL kill);
// Asks the virtual machine of the worker to print every thread's stack.
void dumpJavaStacks(Handle* worker);

// Given to the virtual machine as its "exit" and "vfprintf" hooks.
void JNICALL jvmExitHook(jint code);
jint JNICALL jvmMessageHook(FILE* stream, const char* format, va_list arguments);
