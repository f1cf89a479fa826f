// A JVM library whose virtual machine never comes up: JNI_CreateJavaVM fails, and no machine
// exists. Built a second time without the entry points, as a library that is no JVM at all.
#include <windows.h>

#include <jni.h>

#include "jdk1_1_init_args.h"

#ifdef WITH_JNI_ENTRIES
extern "C" {

JNIEXPORT jint JNICALL JNI_GetDefaultJavaVMInitArgs(void* args) {
    static_cast<JDK1_1InitArgs*>(args)->javaStackSize = 256 * 1024;
    return JNI_ERR;
}

JNIEXPORT jint JNICALL JNI_CreateJavaVM(JavaVM** vm, void** env, void*) {
    *vm = nullptr;
    *env = nullptr;
    return JNI_ENOMEM;
}

JNIEXPORT jint JNICALL JNI_GetCreatedJavaVMs(JavaVM**, jsize, jsize* count) {
    *count = 0;
    return JNI_OK;
}

}  // extern "C"
#endif

BOOL WINAPI DllMain(HINSTANCE, DWORD, void*) { return TRUE; }
