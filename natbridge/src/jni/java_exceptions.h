#pragma once
// The only way the library raises Java exceptions: a class name and a fixed message.
#include <jni.h>

namespace brisko {

// When the class cannot be found nothing is raised (and the lookup's own error is cleared).
void ThrowJavaException(JNIEnv* env, const char* className, const char* message);

// IllegalArgumentException "Invalid argument!", for every argument the library refuses.
void ThrowInvalidArgument(JNIEnv* env);

}  // namespace brisko
