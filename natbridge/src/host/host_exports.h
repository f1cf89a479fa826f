#pragma once
// The native methods of SystemUsers and the Utils methods about the host.
#include <jni.h>

extern "C" {
jobject JNICALL Java_jni_com_brisko_desktop_windows_SystemUsers_getUsers(JNIEnv* env, jclass systemUsers);
jstring JNICALL Java_jni_com_brisko_desktop_windows_Utils_getHostName(JNIEnv* env, jclass utils);
jstring JNICALL Java_jni_com_brisko_desktop_windows_Utils_getHostIdentifier(JNIEnv* env, jclass utils);
jstring JNICALL Java_jni_com_brisko_desktop_windows_Utils_getApplicationSupportDirectory(JNIEnv* env, jclass utils);
}
