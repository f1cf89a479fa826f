#include "jni/jthread.h"

#include <cstdio>
#include <string>

#include "jni/com_scope.h"
#include "text.h"
#include "unique_handle.h"
#include "unique_memory.h"

namespace brisko {
namespace {

constexpr wchar_t kClassName[] = L"Brisko::EventLoop";
constexpr wchar_t kWindowTitle[] = L"Windows Message Queue";
constexpr wchar_t kThreadProperty[] = L"com.brisko.thread";

ATOM eventLoopClass = 0;

// C++ exceptions must not unwind through the system's dispatch code: whatever a callable or a
// handler raises ends it here, and the thread goes on serving.
template <typename Work>
bool ContainExceptions(Work&& work) {
    try {
        return work();
    } catch (...) {
        return false;
    }
}

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* thread = static_cast<JThread*>(::GetPropW(window, kThreadProperty));
    if (!thread) return ::DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
        case WM_DESTROY:
        case WM_CLOSE:
            ::PostQuitMessage(0);
            return ::DefWindowProcW(window, message, wParam, lParam);
        case kRunCallableMessage:
            if (const std::function<void()>* callable = thread->take(wParam)) ContainExceptions([&] {
                (*callable)();
                return true;
            });
            return ::DefWindowProcW(window, message, wParam, lParam);
        case WM_SIZE:
        case WM_PAINT:
            return 0;
        default:
            return ContainExceptions([&] { return thread->handleMessage(window, message, wParam, lParam); })
                       ? 0
                       : ::DefWindowProcW(window, message, wParam, lParam);
    }
}

// The one console line of a thread whose window could not be created.
void ReportWindowFailure(DWORD error) {
    UniqueLocalMemory<wchar_t*> text;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
        MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(text.put()), 0, nullptr);
    std::wstring message(text ? text.get() : L"", text ? length : 0);
    // The system's text ends with its own line break; the line gets exactly one.
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r')) message.pop_back();
    if (message.empty())
        std::printf("%s: Undefined error (0x%lx)\n", "CreateInstance", static_cast<unsigned long>(error));
    else
        std::printf("%s: %s\n", "CreateInstance", wideToAnsi(message).c_str());
    std::fflush(stdout);
}

}  // namespace

bool RegisterEventLoopClass() {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = WindowProcedure;
    windowClass.lpszClassName = kClassName;
    eventLoopClass = ::RegisterClassExW(&windowClass);
    return eventLoopClass != 0;
}

void UnregisterEventLoopClass() {
    if (eventLoopClass) ::UnregisterClassW(MAKEINTATOM(eventLoopClass), nullptr);
    eventLoopClass = 0;
}

void JThread::stop() {
    if (HWND w = window()) ::PostMessageW(w, WM_DESTROY, 0, 0);
}

void JThread::run() {
    MSG message;
    for (;;) {
        const BOOL result = ::GetMessageW(&message, nullptr, 0, 0);
        if (result == 0) break;
        if (result == -1) continue;
        ::DispatchMessageW(&message);
    }
}

bool JThread::handleMessage(HWND, UINT, WPARAM, LPARAM) { return false; }

bool JThread::start(JNIEnv* env, jobject javaObject) {
    if (!env || !javaObject) return false;
    if (env->GetJavaVM(&vm_) != JNI_OK || !vm_) return false;
    // The global reference is taken here, on the caller's thread: a local reference is only
    // valid on the thread that received it.
    javaTarget_ = env->NewGlobalRef(javaObject);
    if (!javaTarget_) return false;

    UniqueHandle ready(::CreateSemaphoreW(nullptr, 0, 0x7FFFFFFF, nullptr));
    UniqueHandle thread;
    if (ready) {
        ready_ = ready.get();
        thread.reset(::CreateThread(nullptr, 0, &JThread::threadMain, this, 0, nullptr));
    }
    if (thread) ::WaitForSingleObject(ready.get(), INFINITE);
    ready_ = nullptr;
    if (!thread || !prepared_) {
        env->DeleteGlobalRef(javaTarget_);
        javaTarget_ = nullptr;
        return false;
    }
    return true;
}

DWORD WINAPI JThread::threadMain(void* self) {
    // Once the thread has detached and destroyed its window, nothing keeps its caller from
    // unloading the library, yet the thread still has to return through the library's code. It
    // holds the library itself and lets go of it only in its very last call. Start is waiting
    // for this thread, so the library is loaded when the reference is taken.
    HMODULE library = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&JThread::threadMain),
                         &library);
    static_cast<JThread*>(self)->body();
    if (library) ::FreeLibraryAndExitThread(library, 0);
    return 0;
}

bool JThread::prepare() {
    HWND w = nullptr;
    {
        ComScope com;
        w = ::CreateWindowExW(0, kClassName, kWindowTitle, 0, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                              CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
    }
    if (!w) {
        ReportWindowFailure(::GetLastError());
        return false;
    }
    void* env = nullptr;
    jint status = vm_->GetEnv(&env, JNI_VERSION_1_8);
    if (status == JNI_EDETACHED) status = vm_->AttachCurrentThreadAsDaemon(&env, nullptr);
    if (status != JNI_OK || !env) {
        ::DestroyWindow(w);
        return false;
    }
    env_ = static_cast<JNIEnv*>(env);
    ::SetPropW(w, kThreadProperty, this);
    window_.store(w);
    return true;
}

void JThread::body() {
    prepared_ = prepare();
    const bool prepared = prepared_;
    // After this release the starting thread may go on; on failure it may destroy the object.
    ::ReleaseSemaphore(ready_, 1, nullptr);
    if (!prepared) return;

    run();
    env_->DeleteGlobalRef(javaTarget_);
    javaTarget_ = nullptr;
    vm_->DetachCurrentThread();
    env_ = nullptr;

    HWND w = window_.exchange(nullptr);
    ::RemovePropW(w, kThreadProperty);
    ::DestroyWindow(w);
}

void JThread::expect(const std::function<void()>* callable) {
    std::lock_guard lock(expectedLock_);
    expected_.insert(callable);
}

void JThread::forget(const std::function<void()>* callable) {
    std::lock_guard lock(expectedLock_);
    expected_.erase(callable);
}

const std::function<void()>* JThread::take(WPARAM callable) {
    const auto* expected = reinterpret_cast<const std::function<void()>*>(callable);
    std::lock_guard lock(expectedLock_);
    return expected_.erase(expected) != 0 ? expected : nullptr;
}

void RunOnEventThread(JThread& thread, const std::function<void()>& callable) {
    if (!callable) throw std::bad_function_call();
    HWND w = thread.window();
    if (!w) return;
    thread.expect(&callable);
    ::SendMessageW(w, kRunCallableMessage, reinterpret_cast<WPARAM>(&callable), 0);
    thread.forget(&callable);
}

}  // namespace brisko
