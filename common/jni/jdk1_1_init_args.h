#pragma once
// The JNI 1.1 argument block of JNI_GetDefaultJavaVMInitArgs. Today's jni.h no longer declares
// it, but hosts still pass it to learn the VM's default Java thread stack size; only `version`
// and `javaStackSize` are read or written by current VMs.
#include <cstdio>

#include <jni.h>

struct JDK1_1InitArgs {
    jint version;
    char** properties;
    jint checkSource;
    jint nativeStackSize;
    jint javaStackSize;
    jint minHeapSize;
    jint maxHeapSize;
    jint verifyMode;
    char* classpath;
    jint(JNICALL* vfprintf)(FILE* fp, const char* format, va_list args);
    void(JNICALL* exit)(jint code);
    void(JNICALL* abort)(void);
    jint enableClassGC;
    jint enableVerboseGC;
    jint disableAsyncGC;
    jint verbose;
    jboolean debugging;
    jint debugPort;
};

// The hooks a host hands to JNI_CreateJavaVM as options "vfprintf", "exit" and "abort"
// (in JavaVMOption::extraInfo).
using JvmVfprintfHook = jint(JNICALL*)(FILE* fp, const char* format, va_list args);
using JvmExitHook = void(JNICALL*)(jint code);
using JvmAbortHook = void(JNICALL*)(void);
