// The demo core's classes, defined when the test JVM loads this library from its class path:
//   demo/Core                                        static main(String[]), stop(String[])
//   jni/com/brisko/desktop/windows/SystemEventThread the callbacks of natbridge's event thread
#include <string>
#include <vector>

#include "core.h"
#include "java.h"
#include "text.h"

namespace brisko::democore {
namespace {

constexpr const char* kEventThread = "jni/com/brisko/desktop/windows/SystemEventThread";
constexpr const char* kStringArgs3 = "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;)";

std::vector<std::wstring> Strings(JNIEnv* env, jobject array) {
    std::vector<std::wstring> strings;
    const auto javaArray = static_cast<jobjectArray>(array);
    const jsize count = javaArray ? env->GetArrayLength(javaArray) : 0;
    for (jsize i = 0; i < count; ++i) {
        jobject element = env->GetObjectArrayElement(javaArray, i);
        strings.push_back(JavaText(env, element).value_or(L""));
        env->DeleteLocalRef(element);
    }
    return strings;
}

std::string Text(JNIEnv* env, jobject string) {
    const auto text = JavaText(env, string);
    return text ? wideToUtf8(*text) : "null";
}

jvalue JNICALL Main(JNIEnv* env, jobject, const jvalue* args, void*) {
    Core::instance().run(env, Strings(env, args[0].l));
    return jvalue{};
}

jvalue JNICALL Stop(JNIEnv* env, jobject, const jvalue*, void*) {
    Core::instance().stop(env);
    return jvalue{};
}

jvalue JNICALL SessionChange(JNIEnv* env, jobject, const jvalue* args, void*) {
    Core::instance().sessionChanged(JavaText(env, args[0].l));
    return jvalue{};
}

// onScreenLockedEvent, onScreenSleepEvent, onSystemSleepEvent: the name comes as the context.
jvalue JNICALL FlagEvent(JNIEnv*, jobject, const jvalue* args, void* name) {
    Core::instance().event(std::string(static_cast<const char*>(name)) + "(" + (args[0].z ? "true" : "false") + ")");
    return jvalue{};
}

jvalue JNICALL ShouldStart(JNIEnv* env, jobject, const jvalue* args, void*) {
    jvalue answer{};
    answer.z = Core::instance().shouldStartApplication(JavaText(env, args[0].l).value_or(L""),
                                                       JavaText(env, args[1].l).value_or(L""),
                                                       JavaText(env, args[2].l).value_or(L""))
                   ? JNI_TRUE
                   : JNI_FALSE;
    return answer;
}

jvalue JNICALL DidStart(JNIEnv* env, jobject, const jvalue* args, void*) {
    Core::instance().event("didStartApplication(" + Text(env, args[0].l) + "," + Text(env, args[1].l) + "," +
                           Text(env, args[2].l) + ")");
    return jvalue{};
}

jvalue JNICALL DidStop(JNIEnv* env, jobject, const jvalue* args, void*) {
    Core::instance().event("didStopApplication(" + Text(env, args[0].l) + "," + Text(env, args[1].l) + ")");
    return jvalue{};
}

bool DefineClasses(FakeJvmClasses* classes) {
    const auto define = [&](const char* owner, const char* name, const std::string& signature, bool isStatic,
                            FakeJvmMethodBody body, const void* context = nullptr) {
        return classes->DefineMethod(classes, owner, name, signature.c_str(), isStatic ? JNI_TRUE : JNI_FALSE, body,
                                     const_cast<void*>(context)) == JNI_OK;
    };
    return classes->DefineClass(classes, "demo/Core", nullptr) == JNI_OK &&
           classes->DefineClass(classes, kEventThread, nullptr) == JNI_OK &&
           define("demo/Core", "main", "([Ljava/lang/String;)V", true, Main) &&
           define("demo/Core", "stop", "([Ljava/lang/String;)V", true, Stop) &&
           define(kEventThread, "onSessionChange", "(Ljava/lang/String;)V", false, SessionChange) &&
           define(kEventThread, "onScreenLockedEvent", "(Z)V", false, FlagEvent, "onScreenLockedEvent") &&
           define(kEventThread, "onScreenSleepEvent", "(Z)V", false, FlagEvent, "onScreenSleepEvent") &&
           define(kEventThread, "onSystemSleepEvent", "(Z)V", false, FlagEvent, "onSystemSleepEvent") &&
           define(kEventThread, "shouldStartApplication", std::string(kStringArgs3) + "Z", false, ShouldStart) &&
           define(kEventThread, "didStartApplication", std::string(kStringArgs3) + "V", false, DidStart) &&
           define(kEventThread, "didStopApplication", "(Ljava/lang/String;Ljava/lang/String;)V", false, DidStop);
}

}  // namespace
}  // namespace brisko::democore

extern "C" JNIEXPORT jint JNICALL JNI_OnLoad(JavaVM* vm, void*) {
    FakeJvmClasses* classes = nullptr;
    if (vm->GetEnv(reinterpret_cast<void**>(&classes), FAKEJVM_CLASSES_VERSION) != JNI_OK) return JNI_ERR;
    if (!brisko::democore::DefineClasses(classes)) return JNI_ERR;
    brisko::democore::Core::instance().setRegistry(classes);
    return JNI_VERSION_1_8;
}
