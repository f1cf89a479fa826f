// The JavaVM (invocation interface) function table.
#include "internal.h"

namespace brisko::fakejvm {
namespace {

Jvm& Owner(JavaVM* vm) { return *static_cast<VmHandle*>(vm)->owner; }

jint JNICALL DestroyJavaVM(JavaVM*) { return JNI_OK; }

jint JNICALL AttachCurrentThread(JavaVM* vm, void** env, void*) {
    return Owner(vm).attach(reinterpret_cast<JNIEnv**>(env), false);
}

jint JNICALL AttachCurrentThreadAsDaemon(JavaVM* vm, void** env, void*) {
    return Owner(vm).attach(reinterpret_cast<JNIEnv**>(env), true);
}

jint JNICALL DetachCurrentThread(JavaVM* vm) { return Owner(vm).detach(); }

jint JNICALL GetEnv(JavaVM* vm, void** env, jint version) {
    *env = nullptr;
    if (version < JNI_VERSION_1_1 || version > JNI_VERSION_1_8) return JNI_EVERSION;
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
