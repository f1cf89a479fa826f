#include "uia/work_queue.h"

#include "loop/thread_protection.h"

namespace brisko::UIA {

std::shared_ptr<WorkQueue> WorkQueue::start() {
    auto queue = std::make_shared<WorkQueue>();
    if (!startAgentThread([queue] { queue->run(); })) return nullptr;
    return queue;
}

std::future<void> WorkQueue::post(std::function<void()> function) {
    const std::lock_guard lock(mutex_);
    if (!running_) return {};
    std::packaged_task<void()> task(std::move(function));
    std::future<void> result = task.get_future();
    tasks_.push_back(std::move(task));
    wake_.notify_one();
    return result;
}

void WorkQueue::stopRunning() {
    const std::lock_guard lock(mutex_);
    running_ = false;
}

void WorkQueue::run() {
    std::unique_lock lock(mutex_);
    while (running_) {
        wake_.wait(lock, [this] { return !tasks_.empty(); });
        while (running_ && !tasks_.empty()) {
            std::packaged_task<void()> task = std::move(tasks_.front());
            tasks_.pop_front();
            lock.unlock();
            task();  // an exception is kept in the task's future
            lock.lock();
        }
    }
    // Tasks left behind hold references (to the monitor among others): let them go now rather
    // than when the last handler releases the queue.
    std::deque<std::packaged_task<void()>> abandoned = std::move(tasks_);
    lock.unlock();
}

}  // namespace brisko::UIA
