// The JavaVM (invocation interface) function table.
#include "internal.h"

namespace brisko::fakejvm {
namespace {

Jvm& Owner(JavaVM* vm) { return *static_cast<VmHandle*>(vm)->owner; }

jint JNICALL DestroyJavaVM(JavaVM* vm) { return Owner(vm).destroy(); }

// The optional JavaVMAttachArgs: a version the VM supports, and the thread's name.
jint Attach(JavaVM* vm, void** env, void* args, bool daemon) {
    if (!env) return JNI_EINVAL;
    const auto* attachArgs = static_cast<const JavaVMAttachArgs*>(args);
    if (attachArgs && !IsSupportedJniVersion(attachArgs->version)) return JNI_EVERSION;
    return Owner(vm).attach(reinterpret_cast<JNIEnv**>(env), daemon, attachArgs ? attachArgs->name : nullptr);
}

jint JNICALL AttachCurrentThread(JavaVM* vm, void** env, void* args) { return Attach(vm, env, args, false); }

jint JNICALL AttachCurrentThreadAsDaemon(JavaVM* vm, void** env, void* args) { return Attach(vm, env, args, true); }

jint JNICALL DetachCurrentThread(JavaVM* vm) { return Owner(vm).detach(); }

jint JNICALL GetEnv(JavaVM* vm, void** env, jint version) {
    *env = nullptr;
    if (version == FAKEJVM_CLASSES_VERSION) {
        *env = Owner(vm).classRegistry();
        return JNI_OK;
    }
    if (version < JNI_VERSION_1_1 || version > JNI_VERSION_10) return JNI_EVERSION;
    if (Owner(vm).destroyed()) return JNI_EDETACHED;
    ThreadEnv* thread = Owner(vm).currentThreadEnv();
    if (!thread) return JNI_EDETACHED;
    *env = static_cast<JNIEnv*>(thread);
    return JNI_OK;
}

}  // namespace

const JNIInvokeInterface_* InvokeFunctions() {
    static const JNIInvokeInterface_ table = [] {
        JNIInvokeInterface_ t{};
        t.DestroyJavaVM = DestroyJavaVM;
        t.AttachCurrentThread = AttachCurrentThread;
        t.DetachCurrentThread = DetachCurrentThread;
        t.GetEnv = GetEnv;
        t.AttachCurrentThreadAsDaemon = AttachCurrentThreadAsDaemon;
        return t;
    }();
    return &table;
}

}  // namespace brisko::fakejvm
