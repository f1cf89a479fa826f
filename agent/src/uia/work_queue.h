#pragma once
// The monitor's single worker: every change of the window and process tables runs here, in
// posting order, so those tables need no lock.
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>

namespace brisko::UIA {

class WorkQueue {
public:
    // Starts the worker thread, which holds a reference of its own until it ends; null when no
    // thread could be made.
    static std::shared_ptr<WorkQueue> start();

    // An empty future once the queue has stopped running; the task is then dropped unrun.
    std::future<void> post(std::function<void()> function);

    // For a task: the worker ends after it, and what is still queued never runs.
    void stopRunning();

    WorkQueue() = default;
    WorkQueue(const WorkQueue&) = delete;
    WorkQueue& operator=(const WorkQueue&) = delete;

private:
    void run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::packaged_task<void()>> tasks_;
    bool running_ = true;
};

}  // namespace brisko::UIA
