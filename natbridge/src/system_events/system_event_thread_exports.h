#pragma once
// The native methods of jni.com.brisko.desktop.windows.SystemEventThread, and JNI_OnLoad.
#include <jni.h>

extern "C" {
jlong JNICALL Java_jni_com_brisko_desktop_windows_SystemEventThread_start(JNIEnv* env, jobject self, jstring agentPath);
void JNICALL Java_jni_com_brisko_desktop_windows_SystemEventThread_stop(JNIEnv* env, jobject self, jlong handle);
void JNICALL Java_jni_com_brisko_desktop_windows_SystemEventThread_terminate(JNIEnv* env, jobject self, jlong handle,
                                                                             jstring applicationId, jstring userName);
}
