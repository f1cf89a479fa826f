#pragma once
// The native methods of jni.com.brisko.desktop.windows.SystemProxyManager: the machine-wide
// browser proxy and the Mozilla autoconfig files. The user's own settings are the agent's.
#include <jni.h>

extern "C" {
void JNICALL Java_jni_com_brisko_desktop_windows_SystemProxyManager_setSystemProxy(JNIEnv* env, jobject self,
                                                                                  jstring httpHost, jint httpPort,
                                                                                  jstring httpsHost, jint httpsPort);
void JNICALL Java_jni_com_brisko_desktop_windows_SystemProxyManager_setFirefoxProxy(JNIEnv* env, jobject self,
                                                                                   jstring autoconfigSource,
                                                                                   jstring preferencesSource,
                                                                                   jstring autoconfigName);
}
