#pragma once
// The native method Utils.getInstalledPackages(java.util.Set).
#include <jni.h>

extern "C" {
void JNICALL Java_jni_com_brisko_desktop_windows_Utils_getInstalledPackages(JNIEnv* env, jclass utils, jobject set);
}
