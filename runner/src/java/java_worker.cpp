#include "java/java_worker.h"

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <vector>

#include "foundation/log.h"
#include "foundation/std_write.h"
#include "foundation/worker_exit.h"
#include "java/java_calls.h"
#include "java/jvm_library.h"
#include "java/jvm_options.h"
#include "jdk1_1_init_args.h"

namespace {

constexpr SIZE_T LargestWorkerStack = 0x200000;
constexpr DWORD SettleAfterStartMs = 1000;
constexpr size_t HookMessageChars = 1024;
constexpr DWORD KilledWorkerExitCode = 5;
constexpr DWORD LeavingWorkerWaitMs = 5000;

constexpr char SystemClass[] = "java/lang/System";

enum WorkerStatus : DWORD {
    WORKER_DONE = 0,
    WORKER_NO_VM = 2,
    WORKER_NOT_PREPARED = 3,
    WORKER_NOTHING_TO_CALL = 4,
    WORKER_NOT_ATTACHED = 5,
    WORKER_THREW = 6,
};

bool callsSystemExit(const char* className) { return std::strcmp(className, SystemClass) == 0; }

// An environment of the calling thread; attached says whether this call attached it.
JNIEnv* currentEnv(JavaVM* vm, bool* attached) {
    *attached = false;
    JNIEnv* env = nullptr;
    const jint status = vm->GetEnv(reinterpret_cast<void**>(&env), JNI_VERSION_1_2);
    if (status == JNI_OK) return env;
    if (status != JNI_EDETACHED || vm->AttachCurrentThread(reinterpret_cast<void**>(&env), nullptr) != JNI_OK)
        return nullptr;
    *attached = true;
    return env;
}

BOOL attachExistingVm(JavaHandle* handle) {
    if (!handle->env) {
        JavaVMAttachArgs attach{JNI_VERSION_1_4, nullptr, nullptr};
        if (handle->vm->AttachCurrentThread(reinterpret_cast<void**>(&handle->env), &attach) != JNI_OK) {
            attach.version = JNI_VERSION_1_2;
            if (handle->vm->AttachCurrentThread(reinterpret_cast<void**>(&handle->env), &attach) != JNI_OK) {
                LOG_ERROR("Unable To Attach the JVM");
                handle->env = nullptr;
                return FALSE;
            }
        }
    }
    handle->jniVersion = handle->env->GetVersion();
    if (handle->jniVersion < JNI_VERSION_1_2) {
        LOG_ERROR("Unsupported JNI version %#08x", static_cast<unsigned>(handle->jniVersion));
        return FALSE;
    }
    return TRUE;
}

BOOL createVm(JavaHandle* handle, const JavaWorkerParams* params) {
    std::vector<JvmOption> list;
    if (!buildJvmOptions(params, &list)) return FALSE;
    std::vector<JavaVMOption> options(list.size());
    for (size_t i = 0; i < list.size(); ++i) {
        options[i].optionString = const_cast<char*>(list[i].text.c_str());
        options[i].extraInfo = list[i].extraInfo;
        LOG_DEBUG("Jvm Option[%d] %s", static_cast<int>(i), options[i].optionString);
    }
    JavaVMInitArgs arguments{};
    arguments.version = JNI_VERSION_1_4;
    arguments.nOptions = static_cast<jint>(options.size());
    arguments.options = options.data();
    arguments.ignoreUnrecognized = JNI_FALSE;
    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;
    if (JvmState.createJavaVM(&vm, reinterpret_cast<void**>(&env), &arguments) != JNI_OK || !vm || !env) {
        LOG_ERROR("CreateJavaVM Failed");
        return FALSE;
    }
    handle->vm = vm;
    handle->env = env;
    handle->jniVersion = JNI_VERSION_1_4;
    recordProcessVm(vm);
    return TRUE;
}

BOOL createOrAttachVm(JavaHandle* handle, const JavaWorkerParams* params) {
    return handle->existingVmCount > 0 ? attachExistingVm(handle) : createVm(handle, params);
}

jobject newStringArray(JavaHandle* handle, const wchar_t* params) {
    JNIEnv* env = handle->env;
    jsize count = 0;
    for (const wchar_t* entry = params; entry && *entry; entry += std::wcslen(entry) + 1) ++count;
    const jobjectArray array = env->NewObjectArray(count, handle->stringClass, nullptr);
    if (!array) return nullptr;
    jsize index = 0;
    for (const wchar_t* entry = params; entry && *entry; entry += std::wcslen(entry) + 1, ++index) {
        LOG_DEBUG("argv[%d] = %S", static_cast<int>(index), entry);
        const jstring text = newJavaString(env, entry);
        if (!text) return nullptr;
        env->SetObjectArrayElement(array, index, text);
        env->DeleteLocalRef(text);
    }
    return array;
}

jclass globalClass(JNIEnv* env, const char* name) {
    const jclass local = env->FindClass(name);
    if (!local) {
        clearPendingException(env);
        return nullptr;
    }
    const auto global = static_cast<jclass>(env->NewGlobalRef(local));
    env->DeleteLocalRef(local);
    return global;
}

// A class or method that cannot be found is logged here and refused when the call is checked.
BOOL prepareCall(JavaHandle* handle, const JavaWorkerParams* params) {
    JNIEnv* env = handle->env;
    const bool exit = callsSystemExit(params->className);
    _snprintf(handle->className, sizeof(handle->className), "%s", params->className);
    handle->className[sizeof(handle->className) - 1] = '\0';
    const char* method = exit ? "exit" : params->methodName && *params->methodName ? params->methodName : "main";
    _snprintf(handle->methodName, sizeof(handle->methodName), "%s", method);
    handle->methodName[sizeof(handle->methodName) - 1] = '\0';

    handle->stringClass = globalClass(env, "java/lang/String");
    if (!handle->stringClass) {
        LOG_ERROR("FindClass java/lang/String failed");
        return FALSE;
    }
    handle->mainClass = globalClass(env, handle->className);
    if (!handle->mainClass) {
        LOG_ERROR("FindClass %s failed", handle->className);
    } else {
        handle->method =
            env->GetStaticMethodID(handle->mainClass, handle->methodName, exit ? "(I)V" : "([Ljava/lang/String;)V");
        if (!handle->method) {
            clearPendingException(env);
            LOG_ERROR("Method 'static void %s(String[])' not found in Class %s", handle->methodName,
                      handle->className);
        }
    }
    if (exit) return TRUE;
    handle->argument = newStringArray(handle, params->params);
    if (!handle->argument) clearPendingException(env);
    return handle->argument != nullptr;
}

// The call itself; answers the worker's status.
DWORD callMethod(JavaHandle* handle) {
    JNIEnv* env = handle->env;
    if (callsSystemExit(handle->className))
        env->CallStaticVoidMethod(handle->mainClass, handle->method, static_cast<jint>(0));
    else
        env->CallStaticVoidMethod(handle->mainClass, handle->method, handle->argument);
    if (!env->ExceptionCheck()) return WORKER_DONE;
    LOG_DEBUG("Exception has been thrown");
    setWorkerExitCode(1);
    clearPendingException(env);
    return WORKER_THREW;
}

DWORD runWorker(JavaWorkerParams* params) {
    JavaHandle* handle = params->handle;
    if (!createOrAttachVm(handle, params)) {
        if (handle->env) handle->vm->DetachCurrentThread();
        return WORKER_NO_VM;
    }
    DWORD status = WORKER_NOT_PREPARED;
    if (params->libraryPath && *params->libraryPath) {
        ::SetDllDirectoryW(params->libraryPath);
        LOG_DEBUG("DLL search path set to '%S'", params->libraryPath);
    }
    if (prepareCall(handle, params)) {
        redirectJavaStream(handle->env, params->errorFile, "setErr");
        redirectJavaStream(handle->env, params->outputFile, "setOut");
        status = WORKER_NOTHING_TO_CALL;
        if (handle->mainClass && handle->method) {
            status = WORKER_NOT_ATTACHED;
            bool attached = false;
            if (currentEnv(handle->vm, &attached)) {
                LOG_DEBUG("Java Worker thread started %s:%s", handle->className, handle->methodName);
                ::InterlockedExchange(&handle->started, TRUE);
                ::SetEvent(handle->startedEvent);
                ::WaitForSingleObject(handle->goEvent, INFINITE);
                status = callMethod(handle);
            }
        }
    }
    // A thread must leave the virtual machine before it ends, or destroying the machine waits
    // for it for ever.
    handle->vm->DetachCurrentThread();
    return status;
}

DWORD WINAPI javaWorkerThread(void* parameter) {
    auto* params = static_cast<JavaWorkerParams*>(parameter);
    JavaHandle* handle = params->handle;
    const DWORD status = runWorker(params);
    ::InterlockedExchange(&handle->started, FALSE);
    LOG_DEBUG("Java Worker thread finished %s:%s with status=%d", params->className, handle->methodName,
              static_cast<int>(status));
    ::SetEvent(handle->startedEvent);
    return status;
}

void closeKernelHandle(HANDLE* value) {
    if (*value) ::CloseHandle(*value);
    *value = nullptr;
}

void deleteGlobalReferences(JavaHandle* handle) {
    if (!handle->stringClass && !handle->mainClass) return;
    bool attached = false;
    JNIEnv* env = currentEnv(handle->vm, &attached);
    if (!env) return;
    if (handle->stringClass) env->DeleteGlobalRef(handle->stringClass);
    if (handle->mainClass) env->DeleteGlobalRef(handle->mainClass);
    handle->stringClass = nullptr;
    handle->mainClass = nullptr;
    if (attached) handle->vm->DetachCurrentThread();
}

// Also sent to a handle that stays open (an immediate stop), so every step can run twice.
BOOL javaHandleCallback(Handle* head, UINT message, WPARAM, LPARAM) {
    if (message != WM_CLOSE) return TRUE;
    auto* handle = reinterpret_cast<JavaHandle*>(head);
    if (JvmState.processVm && handle->vm) {
        // A worker whose call is over is only on its way out: it is let go, since a thread ended
        // there can leave the loader's or the heap's lock held, and the process then never ends.
        const DWORD grace = handle->started ? 0 : LeavingWorkerWaitMs;
        if (handle->workerThread && ::WaitForSingleObject(handle->workerThread, grace) == WAIT_TIMEOUT)
            ::TerminateThread(handle->workerThread, KilledWorkerExitCode);
        deleteGlobalReferences(handle);
    }
    closeKernelHandle(&handle->workerThread);
    closeKernelHandle(&handle->startedEvent);
    closeKernelHandle(&handle->goEvent);
    // The library goes only when this handle made the machine and nothing of it can run any more.
    if (handle->existingVmCount == 0 && handle->vm) unloadJvmLibrary();
    return TRUE;
}

}  // namespace

JavaHandle* createJavaHandle(const wchar_t* jvmPath) {
    if (!loadJvmLibrary(jvmPath)) return nullptr;
    JavaVM* found = nullptr;
    jsize count = 0;
    if (JvmState.getCreatedJavaVMs(&found, 1, &count) != JNI_OK || (count > 0 && !found)) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    JavaHandle* handle = createTypedHandle<JavaHandle>(MainPool, HANDLE_TYPE_JAVA, 0, javaHandleCallback);
    if (!handle) return nullptr;
    handle->vm = count > 0 ? found : nullptr;
    handle->existingVmCount = count > 0 ? 1 : 0;
    JDK1_1InitArgs defaults{};
    defaults.version = JNI_VERSION_1_1;
    // A current VM answers that it does not support 1.1, yet still fills in the stack size.
    JvmState.getDefaultJavaVMInitArgs(&defaults);
    handle->workerStackSize =
        defaults.javaStackSize < 0 || static_cast<SIZE_T>(defaults.javaStackSize) > LargestWorkerStack
            ? 0
            : static_cast<SIZE_T>(defaults.javaStackSize);
    recordProcessVm(handle->vm);
    return handle;
}

BOOL startJavaWorker(JavaWorkerParams* params) {
    JavaHandle* handle = params->handle;
    handle->started = FALSE;
    handle->startedEvent = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    handle->goEvent = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!handle->startedEvent || !handle->goEvent) return FALSE;
    handle->workerThread = ::CreateThread(nullptr, handle->workerStackSize, javaWorkerThread, params,
                                          CREATE_SUSPENDED, &handle->workerThreadId);
    if (!handle->workerThread) return FALSE;
    ::ResumeThread(handle->workerThread);
    ::WaitForSingleObject(handle->startedEvent, INFINITE);
    if (!handle->started) return FALSE;
    ::SetEvent(handle->goEvent);
    if (!callsSystemExit(params->className)) ::Sleep(SettleAfterStartMs);
    return TRUE;
}

DWORD waitJavaWorker(JavaHandle* handle, DWORD timeoutMs, BOOL kill) {
    if (!handle->started && handle->workerThread) return 0;
    const DWORD result = ::WaitForSingleObject(handle->workerThread, timeoutMs);
    if (result == WAIT_TIMEOUT && kill) closeHandle(&handle->head);
    return result == WAIT_OBJECT_0 ? 0 : result;
}

void dumpJavaStacks(Handle* worker) {
    if (!JvmState.dumpAllStacks || !worker || worker->type != HANDLE_TYPE_JAVA) return;
    auto* handle = reinterpret_cast<JavaHandle*>(worker);
    JavaVM* vm = handle->vm ? handle->vm : JvmState.processVm;
    if (!vm) return;
    bool attached = false;
    JNIEnv* env = currentEnv(vm, &attached);
    if (!env) return;
    JvmState.dumpAllStacks(env, nullptr);
    if (attached) vm->DetachCurrentThread();
}

void JNICALL jvmExitHook(jint code) {
    LOG_DEBUG("Exit hook with exit code %d", static_cast<int>(code));
    setWorkerExitCode(code);
    ::InterlockedExchange(&JvmState.exiting, TRUE);
}

jint JNICALL jvmMessageHook(FILE*, const char* format, va_list arguments) {
    char text[HookMessageChars + 1];
    const int length = _vsnprintf(text, HookMessageChars, format, arguments);
    text[HookMessageChars] = '\0';
    if (length <= 0 && !text[0]) return 0;
    if (!logMessage(nullptr, LOG_LEVEL_INFO, TRUE, nullptr, 0, "%s", text))
        writeStandardStream(STD_OUTPUT_HANDLE, text, static_cast<DWORD>(std::strlen(text)));
    return static_cast<jint>(std::strlen(text));
}
