#include "jni/jni_strings.h"

#include <cwchar>

namespace brisko {

std::wstring ToWideString(JNIEnv* env, jstring string) {
    if (!string) return {};
    const jchar* chars = env->GetStringChars(string, nullptr);
    if (!chars) return {};
    const jsize length = env->GetStringLength(string);
    std::wstring result(reinterpret_cast<const wchar_t*>(chars), static_cast<size_t>(length > 0 ? length : 0));
    env->ReleaseStringChars(string, chars);
    return result;
}

jstring ToJavaString(JNIEnv* env, const wchar_t* string) {
    if (!string) return nullptr;
    return ToJavaString(env, string, std::wcslen(string));
}

jstring ToJavaString(JNIEnv* env, const wchar_t* string, size_t length) {
    if (!string) return nullptr;
    return env->NewString(reinterpret_cast<const jchar*>(string), static_cast<jsize>(length));
}

}  // namespace brisko
