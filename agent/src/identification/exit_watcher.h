#pragma once
// Notices when watched processes end, on threads of its own.
//
// One wait covers at most 64 handles: a wake event and 63 processes. Processes are therefore
// spread over wait groups of at most 63, each with its own thread, wake event and command
// queue; a group is added when every existing one is full, and every group lives until stop.
// A process keeps its group until it is unwatched.
#include <windows.h>

#include <climits>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "unique_handle.h"

namespace brisko {

class ExitWatcher {
public:
    // Called on a watcher thread, one call at a time, once per watched process that ends.
    // It must not call back into the watcher.
    using ExitCallback = std::function<void(DWORD processId)>;

    static constexpr int kStop = INT_MAX;
    static constexpr size_t kProcessesPerWait = MAXIMUM_WAIT_OBJECTS - 1;

    explicit ExitWatcher(ExitCallback processExited);
    ~ExitWatcher();
    ExitWatcher(const ExitWatcher&) = delete;
    ExitWatcher& operator=(const ExitWatcher&) = delete;

    // Starts the wait threads; watch requests made before are served from then on.
    void start();

    // A positive id starts watching that process, a negative one stops watching -id, kStop
    // stops. A process that cannot be opened for SYNCHRONIZE is not watched.
    void watchProcess(int id);

    // Once it returns, the callback is never called again. The threads end at their next
    // wake-up; they own everything they use, so the watcher may be destroyed at once.
    void stop();

    // For an orderly end: true when every wait thread has ended within the time-out.
    bool waitUntilStopped(DWORD milliseconds) const;

    size_t waitGroupCount() const;

private:
    struct Reporter;
    struct WaitGroup;
    struct ThreadContext;

    static unsigned __stdcall waitThread(void* context);

    std::shared_ptr<WaitGroup> groupWithRoom();
    void startThread(const std::shared_ptr<WaitGroup>& group);

    mutable std::mutex mutex_;
    std::shared_ptr<Reporter> reporter_;
    std::vector<std::shared_ptr<WaitGroup>> groups_;
    std::vector<UniqueHandle> threads_;
    std::unordered_map<DWORD, std::shared_ptr<WaitGroup>> watched_;
    bool started_ = false;
    bool stopped_ = false;
};

}  // namespace brisko
