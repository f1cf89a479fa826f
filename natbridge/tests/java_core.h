#pragma once
// The core as the tests see it: a SystemEventThread object of the fake VM whose callbacks
// record what reached them, and on which thread.
#include <windows.h>

#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "fake_jvm.h"

namespace brisko::testing {

struct CoreOptions {
    std::set<std::string> missing;  // callbacks the class does not have
    std::set<std::string> raising;  // callbacks that throw a RuntimeException
    bool allowStart = true;         // the answer of shouldStartApplication
    std::set<std::string> refused;  // application ids that shouldStartApplication refuses all the same
    // Runs inside shouldStartApplication, on the event thread.
    std::function<void()> whileDeciding;
};

class JavaCore {
public:
    explicit JavaCore(fakejvm::Jvm& jvm, CoreOptions options = {});

    // A new core object, as a local reference of the calling thread.
    jobject newObject(JNIEnv* env);
    std::vector<std::string> events() const;
    // Waits until at least `count` events arrived.
    bool waitForEvents(size_t count) const;
    std::set<DWORD> callbackThreads() const;
    void clear();

private:
    void record(std::string event);

    fakejvm::Jvm& jvm_;
    CoreOptions options_;
    fakejvm::Class* class_ = nullptr;
    mutable std::mutex lock_;
    std::vector<std::string> events_;
    std::set<DWORD> threads_;
};

// The top-level event window of this process, or null.
HWND FindEventWindow();

}  // namespace brisko::testing
