#include "java/java_calls.h"

#include <cstdarg>
#include <cstring>
#include <cwchar>

#include "foundation/log.h"

namespace {

constexpr char FileOutputStream[] = "java/io/FileOutputStream";
constexpr char PrintStream[] = "java/io/PrintStream";
constexpr char System[] = "java/lang/System";

// A new instance through a one-argument constructor; null (after logging why) on failure.
jobject construct(JNIEnv* env, const char* className, const char* signature, jvalue* arguments) {
    const jclass javaClass = env->FindClass(className);
    if (!javaClass) {
        clearPendingException(env);
        LOG_ERROR("Could not FindClass %s", className);
        return nullptr;
    }
    jobject instance = nullptr;
    const jmethodID constructor = env->GetMethodID(javaClass, "<init>", signature);
    if (!constructor) {
        clearPendingException(env);
        LOG_ERROR("Could not find Constructor %s for %s", signature, className);
    } else if (!(instance = env->NewObjectA(javaClass, constructor, arguments))) {
        clearPendingException(env);
        LOG_ERROR("Could not create instance of %s", className);
    }
    env->DeleteLocalRef(javaClass);
    return instance;
}

}  // namespace

bool clearPendingException(JNIEnv* env) {
    if (!env->ExceptionCheck()) return false;
    env->ExceptionDescribe();
    env->ExceptionClear();
    return true;
}

BOOL callStaticBySignature(JNIEnv* env, jclass javaClass, const char* name, const char* signature, jvalue* result,
                           ...) {
    const char* close = std::strchr(signature, ')');
    const char kind = close ? close[1] : '\0';
    if (!kind || !std::strchr("BCDFIJL[SVZ", kind)) {
        LOG_ERROR("Invalid signature %s for method %s", signature, name);
        return FALSE;
    }
    const jmethodID method = env->GetStaticMethodID(javaClass, name, signature);
    if (!method) {
        clearPendingException(env);
        LOG_ERROR("Could not find method %s with signature %s", name, signature);
        return FALSE;
    }
    jvalue value{};
    va_list arguments;
    va_start(arguments, result);
    switch (kind) {
    case 'B': value.b = env->CallStaticByteMethodV(javaClass, method, arguments); break;
    case 'C': value.c = env->CallStaticCharMethodV(javaClass, method, arguments); break;
    case 'D': value.d = env->CallStaticDoubleMethodV(javaClass, method, arguments); break;
    case 'F': value.f = env->CallStaticFloatMethodV(javaClass, method, arguments); break;
    case 'I': value.i = env->CallStaticIntMethodV(javaClass, method, arguments); break;
    case 'J': value.j = env->CallStaticLongMethodV(javaClass, method, arguments); break;
    case 'S': value.s = env->CallStaticShortMethodV(javaClass, method, arguments); break;
    case 'Z': value.z = env->CallStaticBooleanMethodV(javaClass, method, arguments); break;
    case 'V': env->CallStaticVoidMethodV(javaClass, method, arguments); break;
    default: value.l = env->CallStaticObjectMethodV(javaClass, method, arguments); break;
    }
    va_end(arguments);
    if (result) *result = value;
    return TRUE;
}

jstring newJavaString(JNIEnv* env, const wchar_t* text) {
    static_assert(sizeof(wchar_t) == sizeof(jchar), "Windows text is UTF-16, as Java's");
    return env->NewString(reinterpret_cast<const jchar*>(text), static_cast<jsize>(std::wcslen(text)));
}

void redirectJavaStream(JNIEnv* env, const wchar_t* file, const char* setter) {
    if (!file || !*file) return;
    clearPendingException(env);
    jvalue arguments[2]{};
    arguments[0].l = newJavaString(env, file);
    if (!arguments[0].l) {
        clearPendingException(env);
        LOG_ERROR("Could not create string for %S", file);
        return;
    }
    arguments[1].z = JNI_TRUE;
    const jobject fileStream = construct(env, FileOutputStream, "(Ljava/lang/String;Z)V", arguments);
    env->DeleteLocalRef(arguments[0].l);
    if (!fileStream) return;
    arguments[0].l = fileStream;
    const jobject printStream = construct(env, PrintStream, "(Ljava/io/OutputStream;)V", arguments);
    env->DeleteLocalRef(fileStream);
    if (!printStream) return;
    if (const jclass system = env->FindClass(System)) {
        callStaticBySignature(env, system, setter, "(Ljava/io/PrintStream;)V", nullptr, printStream);
        if (clearPendingException(env)) LOG_ERROR("Error calling set method for %s", System);
        env->DeleteLocalRef(system);
    } else {
        clearPendingException(env);
        LOG_ERROR("Could not FindClass %s", System);
    }
    env->DeleteLocalRef(printStream);
}
