#include "identification/exit_watcher.h"

#include <process.h>

#include <algorithm>

#include "identification/concurrent_queue.h"
#include "loop/thread_protection.h"

namespace brisko {

struct ExitWatcher::Reporter {
    std::mutex mutex;
    bool stopped = false;
    ExitCallback callback;

    void report(DWORD processId) {
        const std::lock_guard lock(mutex);
        if (!stopped) callback(processId);
    }

    void stop() {
        const std::lock_guard lock(mutex);
        stopped = true;
    }
};

struct ExitWatcher::WaitGroup {
    UniqueHandle wake{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    ConcurrentQueue<int> queue;
    size_t assigned = 0;  // processes routed here and not unwatched; guarded by the watcher's mutex

    void post(int command) {
        queue.push(command);
        ::SetEvent(wake.get());
    }
};

namespace {

// The processes of one wait group; the wait puts the group's wake event before them.
class WaitList {
public:
    void add(DWORD processId) {
        if (processes_.size() >= ExitWatcher::kProcessesPerWait) return;
        UniqueHandle process(::OpenProcess(SYNCHRONIZE, FALSE, processId));
        if (!process) return;
        processes_.push_back(std::move(process));
        processIds_.push_back(processId);
    }

    void remove(DWORD processId) {
        const auto found = std::find(processIds_.begin(), processIds_.end(), processId);
        if (found != processIds_.end()) removeAt(static_cast<size_t>(found - processIds_.begin()));
    }

    struct Ended {
        DWORD processId;
        UniqueHandle process;
    };

    // Takes out the process at an index of the wait (index 0 being the wake event). While the
    // caller holds the handle the id cannot pass to a new process, so the end is reported before
    // any window of a process that is given the same id.
    Ended takeWaitIndex(size_t index) {
        Ended ended{processIds_[index - 1], std::move(processes_[index - 1])};
        removeAt(index - 1);
        return ended;
    }

    std::vector<HANDLE> waitHandles(HANDLE wake) const {
        std::vector<HANDLE> handles{wake};
        for (const UniqueHandle& process : processes_) handles.push_back(process.get());
        return handles;
    }

private:
    void removeAt(size_t position) {
        processes_.erase(processes_.begin() + static_cast<std::ptrdiff_t>(position));
        processIds_.erase(processIds_.begin() + static_cast<std::ptrdiff_t>(position));
    }

    std::vector<UniqueHandle> processes_;
    std::vector<DWORD> processIds_;
};

}  // namespace

struct ExitWatcher::ThreadContext {
    std::shared_ptr<WaitGroup> group;
    std::shared_ptr<Reporter> reporter;
};

unsigned __stdcall ExitWatcher::waitThread(void* parameter) {
    const std::unique_ptr<ThreadContext> context(static_cast<ThreadContext*>(parameter));
    WaitList list;
    for (;;) {
        while (const std::optional<int> command = context->group->queue.tryPop()) {
            if (*command == ExitWatcher::kStop) return 0;
            if (*command < 0) {
                list.remove(static_cast<DWORD>(-*command));
            } else {
                list.add(static_cast<DWORD>(*command));
            }
        }
        const std::vector<HANDLE> handles = list.waitHandles(context->group->wake.get());
        const DWORD result =
            ::WaitForMultipleObjectsEx(static_cast<DWORD>(handles.size()), handles.data(), FALSE, INFINITE, TRUE);
        if (result == WAIT_IO_COMPLETION || result == WAIT_OBJECT_0) continue;
        // Groups never exceed one wait, so a failed or abandoned wait is not expected; the
        // thread then ends, as there is nothing it could wait for instead.
        if (result <= WAIT_OBJECT_0 || result >= WAIT_OBJECT_0 + handles.size()) return 0;
        const WaitList::Ended ended = list.takeWaitIndex(result - WAIT_OBJECT_0);
        context->reporter->report(ended.processId);
    }
}

ExitWatcher::ExitWatcher(ExitCallback processExited) : reporter_(std::make_shared<Reporter>()) {
    reporter_->callback = std::move(processExited);
}

ExitWatcher::~ExitWatcher() { stop(); }

void ExitWatcher::start() {
    const std::lock_guard lock(mutex_);
    if (started_ || stopped_) return;
    started_ = true;
    if (groups_.empty()) groups_.push_back(std::make_shared<WaitGroup>());
    for (const std::shared_ptr<WaitGroup>& group : groups_) startThread(group);
}

void ExitWatcher::startThread(const std::shared_ptr<WaitGroup>& group) {
    auto context = std::make_unique<ThreadContext>(ThreadContext{group, reporter_});
    UniqueHandle thread(
        reinterpret_cast<HANDLE>(::_beginthreadex(agentThreadAttributes(), 0, &waitThread, context.get(), 0, nullptr)));
    if (!thread) return;
    context.release();
    threads_.push_back(std::move(thread));
}

std::shared_ptr<ExitWatcher::WaitGroup> ExitWatcher::groupWithRoom() {
    for (const std::shared_ptr<WaitGroup>& group : groups_) {
        if (group->assigned < kProcessesPerWait) return group;
    }
    auto group = std::make_shared<WaitGroup>();
    groups_.push_back(group);
    if (started_) startThread(group);
    return group;
}

void ExitWatcher::watchProcess(int id) {
    if (id == kStop) return stop();
    const std::lock_guard lock(mutex_);
    if (stopped_ || id == 0 || id == -kStop - 1) return;
    const DWORD processId = static_cast<DWORD>(id < 0 ? -id : id);
    const auto found = watched_.find(processId);
    if (id > 0) {
        if (found != watched_.end()) return;
        std::shared_ptr<WaitGroup> group = groupWithRoom();
        ++group->assigned;
        group->post(id);
        watched_.emplace(processId, std::move(group));
    } else {
        if (found == watched_.end()) return;
        --found->second->assigned;
        found->second->post(id);
        watched_.erase(found);
    }
}

void ExitWatcher::stop() {
    const std::lock_guard lock(mutex_);
    if (stopped_) return;
    stopped_ = true;
    reporter_->stop();
    for (const std::shared_ptr<WaitGroup>& group : groups_) group->post(kStop);
    watched_.clear();
}

bool ExitWatcher::waitUntilStopped(DWORD milliseconds) const {
    const std::lock_guard lock(mutex_);
    std::vector<HANDLE> handles;
    for (const UniqueHandle& thread : threads_) handles.push_back(thread.get());
    // Threads are started one group at a time, so each wait takes at most 64 of them.
    const ULONGLONG deadline = ::GetTickCount64() + milliseconds;
    for (size_t first = 0; first < handles.size(); first += MAXIMUM_WAIT_OBJECTS) {
        const size_t count = std::min<size_t>(MAXIMUM_WAIT_OBJECTS, handles.size() - first);
        const ULONGLONG now = ::GetTickCount64();
        const DWORD left = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
        if (::WaitForMultipleObjects(static_cast<DWORD>(count), handles.data() + first, TRUE, left) >=
            WAIT_OBJECT_0 + count)
            return false;
    }
    return true;
}

size_t ExitWatcher::waitGroupCount() const {
    const std::lock_guard lock(mutex_);
    return groups_.size();
}

}  // namespace brisko
