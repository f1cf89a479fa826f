#pragma once
// The JVM library, loaded once per process, and the virtual machine the runner created or found.
#include <windows.h>

#include <jni.h>

typedef jint(JNICALL* GetDefaultJavaVMInitArgsFunction)(void* args);
typedef jint(JNICALL* CreateJavaVMFunction)(JavaVM** vm, void** env, void* args);
typedef jint(JNICALL* GetCreatedJavaVMsFunction)(JavaVM** vms, jsize size, jsize* count);
typedef void(JNICALL* DumpAllStacksFunction)(JNIEnv* env, jclass unused);

struct JvmLibrary {
    HMODULE module;
    GetDefaultJavaVMInitArgsFunction getDefaultJavaVMInitArgs;
    CreateJavaVMFunction createJavaVM;
    GetCreatedJavaVMsFunction getCreatedJavaVMs;
    // Optional: not every JVM has it.
    DumpAllStacksFunction dumpAllStacks;
    // The first virtual machine found or created; taken by destroyJavaVm.
    JavaVM* volatile processVm;
    // A virtual machine was found or created and has not been destroyed in time: code of the
    // library may still run, so it stays loaded.
    volatile LONG vmAlive;
    // Set by the exit hook: the virtual machine is ending the process on one of its threads.
    volatile LONG exiting;
};
extern JvmLibrary JvmState;

// A null path means the one the installed Java runtime records. Loads once; later calls answer
// at once.
BOOL loadJvmLibrary(const wchar_t* path);
// Only while no virtual machine of the library may still run.
void unloadJvmLibrary();

// Records the virtual machine when none is recorded yet.
void recordProcessVm(JavaVM* vm);
// Destroys the recorded virtual machine on a thread of its own; answers whether that ended within
// the time-out (and TRUE when there was none).
BOOL destroyJavaVm(DWORD timeoutMs);
