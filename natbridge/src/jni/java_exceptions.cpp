#include "jni/java_exceptions.h"

namespace brisko {

void ThrowJavaException(JNIEnv* env, const char* className, const char* message) {
    jclass exceptionClass = env->FindClass(className);
    if (!exceptionClass) {
        // FindClass leaves NoClassDefFoundError pending; the caller reports by its return value.
        env->ExceptionClear();
        return;
    }
    env->ThrowNew(exceptionClass, message);
    env->DeleteLocalRef(exceptionClass);
}

void ThrowInvalidArgument(JNIEnv* env) {
    ThrowJavaException(env, "java/lang/IllegalArgumentException", "Invalid argument!");
}

}  // namespace brisko
