// A class library for jvm.dll's tests. test/Main.main(String[]) does what its first argument
// says and records what it saw in system properties:
//   wait           returns once test/Main.stop(String[]) has been called
//   throw          leaves a RuntimeException "start failed"
//   exit N         System.exit(N)
//   print TEXT     TEXT on System.out and System.err
// "test.main.args" holds the arguments joined by "|"; JNI_OnLoad leaves the id of the thread
// that loaded the library in "test.onload.thread".
#include <windows.h>

#include <string>

#include "fakejvm_classes.h"

namespace {

HANDLE gStopped = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);

void SetProperty(JNIEnv* env, const std::wstring& name, const std::wstring& value) {
    jclass system = env->FindClass("java/lang/System");
    jmethodID set = env->GetStaticMethodID(system, "setProperty",
                                           "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;");
    jstring key = env->NewString(reinterpret_cast<const jchar*>(name.c_str()), static_cast<jsize>(name.size()));
    jstring text = env->NewString(reinterpret_cast<const jchar*>(value.c_str()), static_cast<jsize>(value.size()));
    env->DeleteLocalRef(env->CallStaticObjectMethod(system, set, key, text));
}

std::wstring Text(JNIEnv* env, jobject string) {
    if (!string) return L"null";
    const auto javaString = static_cast<jstring>(string);
    const jchar* chars = env->GetStringChars(javaString, nullptr);
    std::wstring text(reinterpret_cast<const wchar_t*>(chars), static_cast<size_t>(env->GetStringLength(javaString)));
    env->ReleaseStringChars(javaString, chars);
    return text;
}

std::wstring Argument(JNIEnv* env, jobjectArray args, jsize index) {
    return index < env->GetArrayLength(args) ? Text(env, env->GetObjectArrayElement(args, index)) : L"";
}

void PrintOn(JNIEnv* env, const char* field, jobject text) {
    jclass system = env->FindClass("java/lang/System");
    jobject stream = env->GetStaticObjectField(system, env->GetStaticFieldID(system, field, "Ljava/io/PrintStream;"));
    jclass printStream = env->FindClass("java/io/PrintStream");
    env->CallVoidMethod(stream, env->GetMethodID(printStream, "println", "(Ljava/lang/String;)V"), text);
}

jvalue JNICALL Main(JNIEnv* env, jobject, const jvalue* args, void*) {
    const auto array = static_cast<jobjectArray>(args[0].l);
    std::wstring joined;
    for (jsize i = 0; i < env->GetArrayLength(array); ++i) joined += (i ? L"|" : L"") + Argument(env, array, i);
    SetProperty(env, L"test.main.args", joined);
    const std::wstring action = Argument(env, array, 0);
    if (action == L"wait") {
        ::WaitForSingleObject(gStopped, INFINITE);
    } else if (action == L"throw") {
        env->ThrowNew(env->FindClass("java/lang/RuntimeException"), "start failed");
    } else if (action == L"exit") {
        jclass system = env->FindClass("java/lang/System");
        env->CallStaticVoidMethod(system, env->GetStaticMethodID(system, "exit", "(I)V"),
                                  static_cast<jint>(std::stol(Argument(env, array, 1))));
    } else if (action == L"print") {
        jobject text = env->GetObjectArrayElement(array, 1);
        PrintOn(env, "out", text);
        PrintOn(env, "err", text);
    }
    return jvalue{};
}

jvalue JNICALL Stop(JNIEnv*, jobject, const jvalue*, void*) {
    ::SetEvent(gStopped);
    return jvalue{};
}

}  // namespace

extern "C" JNIEXPORT jint JNICALL JNI_OnLoad(JavaVM* vm, void*) {
    FakeJvmClasses* classes = nullptr;
    if (vm->GetEnv(reinterpret_cast<void**>(&classes), FAKEJVM_CLASSES_VERSION) != JNI_OK) return JNI_ERR;
    classes->DefineClass(classes, "test/Main", nullptr);
    classes->DefineMethod(classes, "test/Main", "main", "([Ljava/lang/String;)V", JNI_TRUE, Main, nullptr);
    classes->DefineMethod(classes, "test/Main", "stop", "([Ljava/lang/String;)V", JNI_TRUE, Stop, nullptr);
    JNIEnv* env = nullptr;
    if (vm->GetEnv(reinterpret_cast<void**>(&env), JNI_VERSION_1_8) == JNI_OK)
        SetProperty(env, L"test.onload.thread", std::to_wstring(::GetCurrentThreadId()));
    return JNI_VERSION_1_8;
}
