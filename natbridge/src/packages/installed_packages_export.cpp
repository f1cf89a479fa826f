#include "packages/installed_packages_export.h"

#include <vector>

#include "jni/java_exceptions.h"
#include "jni/jni_strings.h"
#include "jni/local_ref.h"
#include "packages/package_enumeration.h"
#include "packages/package_manifest.h"

namespace brisko {
namespace {

constexpr char kDidFoundPackage[] = "didFoundPackage";
constexpr char kDidFoundPackageSignature[] = "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;ILjava/util/Set;)V";

jstring JavaString(JNIEnv* env, const std::wstring& text) { return ToJavaString(env, text.c_str(), text.size()); }

// Reports every package, reading its manifest just before; false when there was none. A Java
// exception (from the callback or a string that could not be made) ends the report and is left
// for the caller.
bool ReportPackages(JNIEnv* env, jclass utils, jmethodID didFoundPackage, jobject set,
                    std::vector<PackageInfo> packages) {
    for (PackageInfo& package : packages) {
        const LocalRef familyName(env, JavaString(env, package.familyName));
        const LocalRef identityName(env, familyName.get() ? JavaString(env, package.identityName) : nullptr);
        if (!identityName.get()) break;
        LoadManifest(package);
        const LocalRef logo(env, JavaString(env, package.logo));
        if (!logo.get()) break;
        env->CallStaticVoidMethod(utils, didFoundPackage, familyName.get(), identityName.get(), logo.get(),
                                  static_cast<jint>(package.backgroundColor), set);
        if (env->ExceptionCheck()) break;
    }
    return !packages.empty();
}

}  // namespace
}  // namespace brisko

extern "C" void JNICALL Java_jni_com_brisko_desktop_windows_Utils_getInstalledPackages(JNIEnv* env, jclass utils,
                                                                                        jobject set) {
    using namespace brisko;
    if (!env) return;
    jmethodID didFoundPackage =
        utils ? env->GetStaticMethodID(utils, kDidFoundPackage, kDidFoundPackageSignature) : nullptr;
    // A null set would reach the core's callback as null for every package: refused like a
    // class without the callback.
    if (!didFoundPackage || !set) {
        env->ExceptionClear();
        ThrowInvalidArgument(env);
        return;
    }
    // Enumerating for all users needs the service's rights; without them, the caller's own packages.
    if (!ReportPackages(env, utils, didFoundPackage, set, EnumeratePackages(PackageOwners::AllUsers)))
        ReportPackages(env, utils, didFoundPackage, set, EnumeratePackages(PackageOwners::CurrentUser));
}
