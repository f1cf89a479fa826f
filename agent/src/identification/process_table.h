#pragma once
// The processes that have windows on the desktop, counted by reference, and the watch on
// their exits. Only the monitor's work-queue thread calls it, so it takes no lock.
#include <windows.h>

#include <functional>
#include <memory>
#include <unordered_map>

#include "identification/exit_watcher.h"
#include "identification/process_record.h"

namespace brisko {

class ProcessTable {
public:
    using IdentifyFunction = std::function<void(ProcessRecord& record, bool skipDescription)>;
    // Positive id: start watching; negative: stop watching -id; ExitWatcher::kStop: stop.
    using WatchFunction = std::function<void(int id)>;

    // Identifies with identifyProcess and reports ended processes through an ExitWatcher.
    explicit ProcessTable(ExitWatcher::ExitCallback processExited);
    // Seam for the table's own rules: what identifies a process and what watches it.
    ProcessTable(IdentifyFunction identify, WatchFunction watch);
    ~ProcessTable();
    ProcessTable(const ProcessTable&) = delete;
    ProcessTable& operator=(const ProcessTable&) = delete;

    // The reference stays valid until the matching releaseProcess.
    ProcessRecord& acquireProcess(DWORD processId, ProcessKind kind);
    void releaseProcess(const ProcessRecord& record);

    // A Desktop or Packaged record, or null.
    const ProcessRecord* findProcess(DWORD processId) const;

    void watchProcess(int id);
    void start();
    // The table may be destroyed as soon as it returns: the watcher threads own what they use.
    void stop();

private:
    struct Entry {
        unsigned count = 0;  // references minus one
        ProcessRecord record;
    };
    using Map = std::unordered_map<DWORD, Entry>;

    Map& mapFor(ProcessKind kind) { return kind == ProcessKind::FrameHost ? frameHosts_ : applications_; }
    Map& otherMap(ProcessKind kind) { return kind == ProcessKind::FrameHost ? applications_ : frameHosts_; }

    std::unique_ptr<ExitWatcher> watcher_;
    IdentifyFunction identify_;
    WatchFunction watch_;
    Map applications_;  // Desktop and Packaged records
    Map frameHosts_;    // FrameHost records
};

}  // namespace brisko
