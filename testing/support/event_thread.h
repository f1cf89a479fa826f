#pragma once
// Stands in for the core's event thread: a thread with a window that runs callables sent to it
// (as RunOnEventThread does) and on which a test can call the agent manager's operations.
#include <windows.h>

#include <functional>
#include <future>
#include <thread>

namespace brisko::testing {

class TestEventThread {
public:
    TestEventThread() {
        std::promise<HWND> ready;
        auto created = ready.get_future();
        thread_ = std::thread([this, &ready] {
            window_ = ::CreateWindowExW(0, L"STATIC", L"test event thread", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                        nullptr, nullptr);
            ::SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Procedure));
            ready.set_value(window_);
            MSG message;
            while (::GetMessageW(&message, nullptr, 0, 0) > 0) ::DispatchMessageW(&message);
            ::DestroyWindow(window_);
        });
        created.wait();
    }
    ~TestEventThread() {
        ::PostMessageW(window_, WM_QUIT, 0, 0);
        thread_.join();
    }

    // Runs on the event thread and waits, like RunOnEventThread.
    void run(const std::function<void()>& call) const {
        ::SendMessageW(window_, kRun, reinterpret_cast<WPARAM>(&call), 0);
    }

private:
    static constexpr UINT kRun = WM_USER + 1;
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == kRun) {
            (*reinterpret_cast<const std::function<void()>*>(wParam))();
            return 0;
        }
        return ::DefWindowProcW(window, message, wParam, lParam);
    }

    HWND window_ = nullptr;
    std::thread thread_;
};

}  // namespace brisko::testing
