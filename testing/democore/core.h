#pragma once
// The demo core: plays the Java core inside the test JVM as far as the native side relies on
// it. Its start method loads natbridge, starts SystemEventThread with the agent's path, listens
// for agents and blocks until its stop method has stopped the event thread. In between it
// decides application starts from its refusal list and logs every callback.
#include <jni.h>
#include <windows.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "agent_link.h"
#include "core_log.h"
#include "core_settings.h"
#include "fakejvm_classes.h"
#include "unique_handle.h"

namespace brisko::democore {

class Core {
public:
    static Core& instance();

    // The class registry of the VM, kept from JNI_OnLoad to bind natbridge's natives.
    void setRegistry(FakeJvmClasses* registry) { registry_ = registry; }

    // demo/Core.main(String[]): returns once stopped, or at once with an exception pending.
    void run(JNIEnv* env, const std::vector<std::wstring>& parameters);
    // demo/Core.stop(String[]).
    void stop(JNIEnv* env);

    // SystemEventThread's callbacks, on the event thread.
    void sessionChanged(const std::optional<std::wstring>& user);
    void event(const std::string& line);
    bool shouldStartApplication(const std::wstring& id, const std::wstring& name, const std::wstring& user);

private:
    using StartFunction = jlong(JNICALL*)(JNIEnv*, jobject, jstring);
    using StopFunction = void(JNICALL*)(JNIEnv*, jobject, jlong);

    bool refuses(const std::wstring& id);
    void stopEventThread(JNIEnv* env);
    void waitForStop();
    void waitForEventThreadEnd();

    FakeJvmClasses* registry_ = nullptr;
    CoreLog log_;
    CoreSettings settings_;
    std::unique_ptr<AgentLink> link_;
    UniqueHandle stopRequested_{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::mutex lock_;  // the fields below
    StopFunction stopThread_ = nullptr;
    jobject target_ = nullptr;  // global reference to the SystemEventThread object
    jlong handle_ = 0;
    bool sessionReported_ = false;
};

}  // namespace brisko::democore
