#include "system_events/system_event_thread_exports.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>

#include "jni/jni_strings.h"
#include "system_events/service_thread.h"

namespace brisko {
namespace {

// Threads that started: they live as long as the process, and only their handles are honoured,
// so that a stale or made-up handle from Java cannot reach memory that is not a thread.
std::mutex startedLock;
std::set<ServiceThread*> startedThreads;

ServiceThread* FromHandle(jlong handle) {
    // On a 32-bit build only the low 32 bits of the handle are the address.
    auto* thread = reinterpret_cast<ServiceThread*>(static_cast<std::intptr_t>(handle));
    std::lock_guard guard(startedLock);
    return startedThreads.contains(thread) ? thread : nullptr;
}

}  // namespace
}  // namespace brisko

using brisko::ServiceThread;

extern "C" jlong JNICALL Java_jni_com_brisko_desktop_windows_SystemEventThread_start(JNIEnv* env, jobject self,
                                                                                    jstring agentPath) {
    if (!env || !agentPath) return 0;
    // A path the VM could not read is no empty path: the error goes back to the caller.
    std::wstring path = brisko::ToWideString(env, agentPath);
    if (env->ExceptionCheck()) return 0;
    auto thread = std::make_unique<ServiceThread>(std::move(path));
    if (!thread->start(env, self)) return 0;
    std::lock_guard guard(brisko::startedLock);
    brisko::startedThreads.insert(thread.get());
    // The address widened with its sign, as the core keeps it.
    return static_cast<jlong>(reinterpret_cast<std::intptr_t>(thread.release()));
}

extern "C" void JNICALL Java_jni_com_brisko_desktop_windows_SystemEventThread_stop(JNIEnv*, jobject, jlong handle) {
    if (ServiceThread* thread = brisko::FromHandle(handle)) thread->stop();
}

extern "C" void JNICALL Java_jni_com_brisko_desktop_windows_SystemEventThread_terminate(JNIEnv* env, jobject,
                                                                                        jlong handle,
                                                                                        jstring applicationId,
                                                                                        jstring userName) {
    ServiceThread* thread = brisko::FromHandle(handle);
    if (!thread || !env) return;
    // A string the VM could not read leaves its error pending for the caller; no JNI call may
    // follow it.
    const std::wstring id = brisko::ToWideString(env, applicationId);
    if (env->ExceptionCheck()) return;
    const std::wstring user = brisko::ToWideString(env, userName);
    if (env->ExceptionCheck() || id.empty() || user.empty()) return;
    thread->terminateApplication(id, user);
}

extern "C" jint JNICALL JNI_OnLoad(JavaVM*, void*) { return JNI_VERSION_1_8; }
