#pragma once
// A native thread that owns a hidden window, is attached to the Java VM for its whole life and
// is the only thread that calls Java; other threads hand it work with RunOnEventThread.
#include <jni.h>
#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <set>

namespace brisko {

inline constexpr UINT kRunCallableMessage = WM_USER + 1;

class JThread {
public:
    JThread() = default;
    virtual ~JThread() = default;
    JThread(const JThread&) = delete;
    JThread& operator=(const JThread&) = delete;

    // Posts WM_DESTROY to the window, if there still is one; the thread then winds down.
    virtual void stop();
    // The message loop.
    virtual void run();
    // Messages of the window that the class does not handle itself; true when handled.
    virtual bool handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    // Starts the thread with the Java object as the target of its callbacks and waits until it
    // is ready. False when it could not create its window, attach to the VM or reference the object.
    bool start(JNIEnv* env, jobject javaObject);

    HWND window() const { return window_.load(); }

    // The callables that RunOnEventThread hands over: the window runs only those it waits for,
    // and each once, so that a "run this" message from any other sender does nothing.
    void expect(const std::function<void()>* callable);
    void forget(const std::function<void()>* callable);
    const std::function<void()>* take(WPARAM callable);

protected:
    // Valid on the thread itself only.
    JNIEnv* env() const { return env_; }
    jobject javaTarget() const { return javaTarget_; }

private:
    static DWORD WINAPI threadMain(void* self);
    bool prepare();
    void body();

    std::atomic<HWND> window_{nullptr};
    JavaVM* vm_ = nullptr;
    JNIEnv* env_ = nullptr;
    jobject javaTarget_ = nullptr;
    HANDLE ready_ = nullptr;
    bool prepared_ = false;
    std::mutex expectedLock_;
    std::set<const std::function<void()>*> expected_;
};

// Runs the callable on the thread and returns when it has run; when the thread's window no
// longer exists it returns at once without running it. An empty callable throws
// std::bad_function_call here, on the caller's thread; an exception that the callable raises
// ends it on the event thread and is not seen by the caller.
void RunOnEventThread(JThread& thread, const std::function<void()>& callable);

// The window class of every JThread; registered while the library is loaded.
bool RegisterEventLoopClass();
void UnregisterEventLoopClass();

}  // namespace brisko
