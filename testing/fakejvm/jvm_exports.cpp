// The invocation exports of jvm.dll, the test JVM that a host loads by path as it would load a
// real one. One VM per process: once destroyed, none can be created again.
#include <mutex>

#include "internal.h"

namespace brisko::fakejvm {
namespace {

// The default Java thread stack of a Windows VM of this word size.
constexpr jint kDefaultJavaStack = sizeof(void*) == 4 ? 320 * 1024 : 1024 * 1024;

std::mutex gLock;
// Never freed: threads may still hold its environments while the process ends.
Jvm* gJvm = nullptr;

Jvm* LiveJvm() {
    std::lock_guard guard(gLock);
    return gJvm && !gJvm->destroyed() ? gJvm : nullptr;
}

// CTRL+BREAK prints every thread, as a VM does unless started with -Xrs.
BOOL WINAPI ConsoleControl(DWORD event) {
    if (event != CTRL_BREAK_EVENT) return FALSE;
    Jvm* jvm = LiveJvm();
    if (!jvm) return FALSE;
    jvm->dumpThreads();
    return TRUE;
}

}  // namespace
}  // namespace brisko::fakejvm

using brisko::fakejvm::gJvm;
using brisko::fakejvm::gLock;
using brisko::fakejvm::Jvm;

extern "C" {

// As HotSpot: a 1.1 block is not a version it supports (JNI_ERR), but the block still carries
// the default Java thread stack size back, which is what hosts ask it for.
jint JNICALL JNI_GetDefaultJavaVMInitArgs(void* args) {
    auto* block = static_cast<JDK1_1InitArgs*>(args);
    if (!block) return JNI_ERR;
    const jint result = brisko::fakejvm::IsSupportedJniVersion(block->version) ? JNI_OK : JNI_ERR;
    if (block->version == JNI_VERSION_1_1) {
        block->version = JNI_VERSION_1_2;
        block->javaStackSize = brisko::fakejvm::kDefaultJavaStack;
    }
    return result;
}

jint JNICALL JNI_CreateJavaVM(JavaVM** pvm, void** penv, void* args) {
    const auto* initArgs = static_cast<const JavaVMInitArgs*>(args);
    if (!pvm || !penv || !initArgs) return JNI_EINVAL;
    *pvm = nullptr;
    *penv = nullptr;
    if (!brisko::fakejvm::IsSupportedJniVersion(initArgs->version)) return JNI_EVERSION;
    std::unique_lock guard(gLock);
    if (gJvm) return gJvm->destroyed() ? JNI_ERR : JNI_EEXIST;
    brisko::fakejvm::VmOptionsResult parsed = brisko::fakejvm::ParseVmOptions(*initArgs);
    auto jvm = std::make_unique<Jvm>();
    const bool reduceSignals = parsed.options.reduceSignals;
    jvm->configure(std::move(parsed.options));
    if (parsed.status != JNI_OK) {
        jvm->print("%s\n", parsed.message.c_str());
        jvm->print("Error: Could not create the Java Virtual Machine.\n");
        return parsed.status;
    }
    JNIEnv* env = nullptr;
    if (jvm->attach(&env, false, "main") != JNI_OK) return JNI_ERR;
    gJvm = jvm.release();
    guard.unlock();
    brisko::fakejvm::LoadClassLibraries(*gJvm);
    if (!reduceSignals) ::SetConsoleCtrlHandler(brisko::fakejvm::ConsoleControl, TRUE);
    *pvm = gJvm->vm();
    *penv = env;
    return JNI_OK;
}

jint JNICALL JNI_GetCreatedJavaVMs(JavaVM** vms, jsize size, jsize* count) {
    Jvm* jvm = brisko::fakejvm::LiveJvm();
    if (count) *count = jvm ? 1 : 0;
    if (jvm && vms && size > 0) vms[0] = jvm->vm();
    return JNI_OK;
}

// The thread dump of the VM's attach listener and console handler, asked for directly.
void JNICALL JVM_DumpAllStacks(JNIEnv*, jclass) {
    if (Jvm* jvm = brisko::fakejvm::LiveJvm()) jvm->dumpThreads();
}

}  // extern "C"
