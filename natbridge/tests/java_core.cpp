#include "java_core.h"

#include "text.h"

namespace brisko::testing {
namespace {

std::string Text(const fakejvm::Call& call, size_t index) {
    const auto value = call.string(index);
    return value ? wideToUtf8(*value) : "null";
}

}  // namespace

JavaCore::JavaCore(fakejvm::Jvm& jvm, CoreOptions options) : jvm_(jvm), options_(std::move(options)) {
    class_ = &jvm_.defineClass("jni/com/brisko/desktop/windows/SystemEventThread");
    const auto define = [&](const char* name, const char* signature, auto describe, fakejvm::Value answer = {}) {
        if (options_.missing.contains(name)) return;
        class_->method(name, signature, [this, name, describe, answer](fakejvm::Call& call) {
            record(std::string(name) + "(" + describe(call) + ")");
            if (options_.raising.contains(name)) call.raise("java/lang/RuntimeException", L"core failed");
            return answer;
        });
    };
    const auto flag = [](const fakejvm::Call& call) { return std::string(call.boolean(0) ? "true" : "false"); };
    const auto one = [](const fakejvm::Call& call) { return Text(call, 0); };
    const auto two = [](const fakejvm::Call& call) { return Text(call, 0) + "," + Text(call, 1); };
    const auto three = [](const fakejvm::Call& call) {
        return Text(call, 0) + "," + Text(call, 1) + "," + Text(call, 2);
    };
    define("onSessionChange", "(Ljava/lang/String;)V", one);
    define("onScreenLockedEvent", "(Z)V", flag);
    define("onScreenSleepEvent", "(Z)V", flag);
    define("onSystemSleepEvent", "(Z)V", flag);
    define("didStartApplication", "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;)V", three);
    define("didStopApplication", "(Ljava/lang/String;Ljava/lang/String;)V", two);
    if (!options_.missing.contains("shouldStartApplication")) {
        class_->method("shouldStartApplication", "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;)Z",
                       [this, three](fakejvm::Call& call) {
                           record("shouldStartApplication(" + three(call) + ")");
                           if (options_.whileDeciding) options_.whileDeciding();
                           if (options_.raising.contains("shouldStartApplication"))
                               call.raise("java/lang/RuntimeException", L"core failed");
                           return fakejvm::Value::boolean(options_.allowStart &&
                                                          !options_.refused.contains(Text(call, 0)));
                       });
    }
}

jobject JavaCore::newObject(JNIEnv* env) { return jvm_.localRef(env, jvm_.newInstance(*class_)); }

std::vector<std::string> JavaCore::events() const {
    std::lock_guard guard(lock_);
    return events_;
}

bool JavaCore::waitForEvents(size_t count) const {
    return fakejvm::Jvm::waitFor([&] { return events().size() >= count; });
}

std::set<DWORD> JavaCore::callbackThreads() const {
    std::lock_guard guard(lock_);
    return threads_;
}

void JavaCore::clear() {
    std::lock_guard guard(lock_);
    events_.clear();
}

void JavaCore::record(std::string event) {
    std::lock_guard guard(lock_);
    events_.push_back(std::move(event));
    threads_.insert(::GetCurrentThreadId());
}

HWND FindEventWindow() {
    HWND found = nullptr;
    for (HWND w = ::FindWindowExW(nullptr, nullptr, L"Brisko::EventLoop", L"Windows Message Queue"); w;
         w = ::FindWindowExW(nullptr, w, L"Brisko::EventLoop", L"Windows Message Queue")) {
        DWORD process = 0;
        ::GetWindowThreadProcessId(w, &process);
        if (process == ::GetCurrentProcessId()) found = w;
    }
    return found;
}

}  // namespace brisko::testing
