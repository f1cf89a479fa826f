#include "java.h"

#include "text.h"

namespace brisko::democore {

std::optional<std::wstring> JavaText(JNIEnv* env, jobject string) {
    if (!string) return std::nullopt;
    const auto javaString = static_cast<jstring>(string);
    const jchar* chars = env->GetStringChars(javaString, nullptr);
    if (!chars) return std::nullopt;
    std::wstring text(reinterpret_cast<const wchar_t*>(chars), static_cast<size_t>(env->GetStringLength(javaString)));
    env->ReleaseStringChars(javaString, chars);
    return text;
}

jstring NewJavaString(JNIEnv* env, const std::wstring& text) {
    return env->NewString(reinterpret_cast<const jchar*>(text.c_str()), static_cast<jsize>(text.size()));
}

std::string PendingMessage(JNIEnv* env) {
    jthrowable pending = env->ExceptionOccurred();
    if (!pending) return {};
    env->ExceptionClear();
    jclass throwable = env->FindClass("java/lang/Throwable");
    const auto message = static_cast<jstring>(
        env->CallObjectMethod(pending, env->GetMethodID(throwable, "getMessage", "()Ljava/lang/String;")));
    const std::string text = wideToUtf8(JavaText(env, message).value_or(L""));
    env->DeleteLocalRef(message);
    env->DeleteLocalRef(throwable);
    env->Throw(pending);
    env->DeleteLocalRef(pending);
    return text;
}

void Throw(JNIEnv* env, const char* className, const std::string& message) {
    if (jclass type = env->FindClass(className)) env->ThrowNew(type, message.c_str());
}

bool LoadLibrary(JNIEnv* env, const wchar_t* name) {
    jclass system = env->FindClass("java/lang/System");
    jstring library = NewJavaString(env, name);
    env->CallStaticVoidMethod(system, env->GetStaticMethodID(system, "loadLibrary", "(Ljava/lang/String;)V"), library);
    env->DeleteLocalRef(library);
    env->DeleteLocalRef(system);
    return !env->ExceptionCheck();
}

void PrintLine(JNIEnv* env, const std::wstring& text) {
    jclass system = env->FindClass("java/lang/System");
    jclass printStream = env->FindClass("java/io/PrintStream");
    jobject out = env->GetStaticObjectField(system, env->GetStaticFieldID(system, "out", "Ljava/io/PrintStream;"));
    jstring line = NewJavaString(env, text);
    env->CallVoidMethod(out, env->GetMethodID(printStream, "println", "(Ljava/lang/String;)V"), line);
    for (jobject local : {static_cast<jobject>(system), static_cast<jobject>(printStream), out, static_cast<jobject>(line)})
        env->DeleteLocalRef(local);
}

}  // namespace brisko::democore
