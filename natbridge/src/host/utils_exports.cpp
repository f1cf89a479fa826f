// Utils.getHostName, getHostIdentifier and getApplicationSupportDirectory: null when the fact
// cannot be learned.
#include "host/host_exports.h"
#include "host/host_identifier.h"
#include "host/host_identity.h"
#include "jni/jni_strings.h"

namespace brisko {
namespace {

jstring NullWhenEmpty(JNIEnv* env, const std::wstring& text) {
    if (!env || text.empty()) return nullptr;
    return ToJavaString(env, text.c_str(), text.size());
}

}  // namespace
}  // namespace brisko

extern "C" jstring JNICALL Java_jni_com_brisko_desktop_windows_Utils_getHostName(JNIEnv* env, jclass) {
    return brisko::NullWhenEmpty(env, brisko::HostName());
}

extern "C" jstring JNICALL Java_jni_com_brisko_desktop_windows_Utils_getHostIdentifier(JNIEnv* env, jclass) {
    return brisko::NullWhenEmpty(env, brisko::HostIdentifier());
}

extern "C" jstring JNICALL Java_jni_com_brisko_desktop_windows_Utils_getApplicationSupportDirectory(JNIEnv* env,
                                                                                                    jclass) {
    return brisko::NullWhenEmpty(env, brisko::ApplicationSupportDirectory());
}
