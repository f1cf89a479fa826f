#pragma once
// natbridge.dll's exports as the VM finds them: by name, with the JNI signatures.
#include <windows.h>

#include <jni.h>

#include <string>

namespace brisko::testing {

using StartFunction = jlong(JNICALL*)(JNIEnv*, jobject, jstring);
using StopFunction = void(JNICALL*)(JNIEnv*, jobject, jlong);
using TerminateFunction = void(JNICALL*)(JNIEnv*, jobject, jlong, jstring, jstring);
using OnLoadFunction = jint(JNICALL*)(JavaVM*, void*);
using SetSystemProxyFunction = void(JNICALL*)(JNIEnv*, jobject, jstring, jint, jstring, jint);
using SetFirefoxProxyFunction = void(JNICALL*)(JNIEnv*, jobject, jstring, jstring, jstring);
using StaticObjectFunction = jobject(JNICALL*)(JNIEnv*, jclass);
using StaticStringFunction = jstring(JNICALL*)(JNIEnv*, jclass);
using InstalledPackagesFunction = void(JNICALL*)(JNIEnv*, jclass, jobject);

// The name the VM looks up: stdcall-decorated on 32-bit Windows, plain on 64-bit.
inline std::string ExportName(const std::string& name, int argumentBytes) {
#if defined(__i386__)
    return "_" + name + "@" + std::to_string(argumentBytes);
#else
    (void)argumentBytes;
    return name;
#endif
}

template <typename Function>
Function Export(HMODULE library, const std::string& name, int argumentBytes) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void (*)()>(::GetProcAddress(library, ExportName(name, argumentBytes).c_str())));
}

inline StartFunction StartExport(HMODULE library) {
    return Export<StartFunction>(library, "Java_jni_com_brisko_desktop_windows_SystemEventThread_start", 12);
}

inline StopFunction StopExport(HMODULE library) {
    return Export<StopFunction>(library, "Java_jni_com_brisko_desktop_windows_SystemEventThread_stop", 16);
}

inline SetSystemProxyFunction SetSystemProxyExport(HMODULE library) {
    return Export<SetSystemProxyFunction>(library, "Java_jni_com_brisko_desktop_windows_SystemProxyManager_setSystemProxy",
                                          24);
}

inline SetFirefoxProxyFunction SetFirefoxProxyExport(HMODULE library) {
    return Export<SetFirefoxProxyFunction>(library,
                                           "Java_jni_com_brisko_desktop_windows_SystemProxyManager_setFirefoxProxy", 20);
}

}  // namespace brisko::testing
