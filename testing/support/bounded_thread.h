#pragma once
// A thread that a test expects to end soon, joined with a time-out.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <thread>

namespace brisko::testing {

class BoundedThread {
public:
    explicit BoundedThread(std::function<void()> body) {
        std::packaged_task<void()> task(std::move(body));
        finished_ = task.get_future();
        thread_ = std::thread(std::move(task));
    }
    BoundedThread(const BoundedThread&) = delete;
    BoundedThread& operator=(const BoundedThread&) = delete;

    // A thread that never ended is stuck on the test's own objects, which are about to go:
    // neither joining nor leaving it is safe, so the test program ends here, after the failure
    // that the test reported.
    ~BoundedThread() {
        if (!thread_.joinable() || joinWithin(std::chrono::seconds(5))) return;
        std::fflush(stdout);
        std::fputs("a test thread is stuck; ending the test program\n", stderr);
        std::fflush(stderr);
        std::_Exit(3);
    }

    // False when the thread has not ended within the time-out; it can be asked again.
    bool joinWithin(std::chrono::milliseconds timeout) {
        if (!thread_.joinable()) return true;
        if (finished_.wait_for(timeout) != std::future_status::ready) return false;
        thread_.join();
        return true;
    }

private:
    std::future<void> finished_;
    std::thread thread_;
};

}  // namespace brisko::testing
