// SystemUsers.getUsers: the local accounts as a java.util.HashMap of name to full name.
#include "host/host_exports.h"
#include "host/user_accounts.h"
#include "jni/java_exceptions.h"
#include "jni/jni_strings.h"
#include "jni/local_ref.h"

namespace brisko {
namespace {

constexpr char kPutSignature[] = "(Ljava/lang/Object;Ljava/lang/Object;)Ljava/lang/Object;";

// Raises the exception after clearing the one the failed JNI call left pending.
jobject Fail(JNIEnv* env, const char* className, const char* message) {
    env->ExceptionClear();
    ThrowJavaException(env, className, message);
    return nullptr;
}

jstring JavaString(JNIEnv* env, const std::wstring& text) { return ToJavaString(env, text.c_str(), text.size()); }

// Puts every entry; false when Java raised an exception on the way (left pending for the caller).
bool PutEntries(JNIEnv* env, jobject map, jmethodID put, const std::vector<UserAccount>& accounts) {
    for (const auto& [name, fullName] : UserMapEntries(accounts)) {
        const LocalRef key(env, JavaString(env, name));
        if (!key.get()) return false;
        const LocalRef value(env, name == fullName ? env->NewLocalRef(key.get()) : JavaString(env, fullName));
        if (!value.get()) return false;
        const LocalRef previous(env, env->CallObjectMethod(map, put, key.get(), value.get()));
        if (env->ExceptionCheck()) return false;
    }
    return true;
}

}  // namespace
}  // namespace brisko

extern "C" jobject JNICALL Java_jni_com_brisko_desktop_windows_SystemUsers_getUsers(JNIEnv* env, jclass) {
    using namespace brisko;
    if (!env) return nullptr;
    const auto accounts = EnumerateUserAccounts();
    if (!accounts) return nullptr;

    // The binary name, the form every VM's FindClass takes.
    const LocalRef mapClass(env, env->FindClass("java/util/HashMap"));
    if (!mapClass.get()) return Fail(env, "java/lang/ClassNotFoundException", "Class not found");
    const auto mapType = static_cast<jclass>(mapClass.get());
    jmethodID constructor = env->GetMethodID(mapType, "<init>", "()V");
    if (!constructor) return Fail(env, "java/lang/NoSuchMethodError", "Constructor not found");
    LocalRef map(env, env->NewObject(mapType, constructor));
    if (!map.get()) return Fail(env, "java/lang/InstantiationException", "Create instance failed");
    jmethodID put = env->GetMethodID(mapType, "put", kPutSignature);
    if (!put) return Fail(env, "java/lang/NoSuchMethodError", "Cannot found method");
    if (!PutEntries(env, map.get(), put, *accounts)) return nullptr;
    return map.release();
}
