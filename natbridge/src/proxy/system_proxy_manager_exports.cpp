#include "proxy/system_proxy_manager_exports.h"

#include <filesystem>
#include <string>

#include "browser_policies.h"
#include "jni/java_exceptions.h"
#include "jni/jni_strings.h"
#include "mozilla_autoconfig.h"
#include "proxy/system_proxy_list.h"
#include "registry.h"

namespace fs = std::filesystem;

extern "C" void JNICALL Java_jni_com_brisko_desktop_windows_SystemProxyManager_setSystemProxy(
    JNIEnv* env, jobject, jstring httpHost, jint httpPort, jstring httpsHost, jint httpsPort) {
    if (!env) return;
    // A host the VM could not read is no missing host: its error goes back to the caller, and
    // nothing is written.
    const std::wstring http = brisko::ToWideString(env, httpHost);
    if (env->ExceptionCheck()) return;
    const std::wstring https = brisko::ToWideString(env, httpsHost);
    if (env->ExceptionCheck()) return;
    const auto list = brisko::BuildSystemProxyList(http, httpPort, https, httpsPort);
    // A value that is no host or port would be forced on every browser as it stands: the core
    // learns of it, and the policies stay as they were.
    if (!list) {
        brisko::ThrowInvalidArgument(env);
        return;
    }
    if (!brisko::EnableRestorePrivilege()) return;
    brisko::ApplyBrowserPolicies(list->empty() ? nullptr : list->c_str());
}

extern "C" void JNICALL Java_jni_com_brisko_desktop_windows_SystemProxyManager_setFirefoxProxy(
    JNIEnv* env, jobject, jstring autoconfigSource, jstring preferencesSource, jstring autoconfigName) {
    if (!env) return;
    // A string the VM could not read is no empty one: its error goes back to the caller, and no
    // installation is changed.
    const fs::path name = brisko::ToWideString(env, autoconfigName);
    if (env->ExceptionCheck()) return;
    if (autoconfigSource && preferencesSource) {
        const fs::path autoconfig = brisko::ToWideString(env, autoconfigSource);
        if (env->ExceptionCheck()) return;
        const fs::path preferences = brisko::ToWideString(env, preferencesSource);
        if (env->ExceptionCheck()) return;
        brisko::ForEachMozillaInstallDir([&](const fs::path& directory) {
            return brisko::InstallFirefoxAutoconfig(directory, autoconfig, preferences, name);
        });
        return;
    }
    brisko::ForEachMozillaInstallDir(
        [&](const fs::path& directory) { return brisko::RemoveFirefoxAutoconfig(directory, name); });
}
