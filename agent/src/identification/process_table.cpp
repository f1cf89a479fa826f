#include "identification/process_table.h"

#include "identification/application_naming.h"
#include "identification/process_identity.h"

namespace brisko {

ProcessTable::ProcessTable(ExitWatcher::ExitCallback processExited)
    : watcher_(std::make_unique<ExitWatcher>(std::move(processExited))),
      identify_(&identifyProcess),
      watch_([watcher = watcher_.get()](int id) { watcher->watchProcess(id); }) {}

ProcessTable::ProcessTable(IdentifyFunction identify, WatchFunction watch)
    : identify_(std::move(identify)), watch_(std::move(watch)) {}

ProcessTable::~ProcessTable() = default;

ProcessRecord& ProcessTable::acquireProcess(DWORD processId, ProcessKind kind) {
    Map& map = mapFor(kind);
    if (const auto found = map.find(processId); found != map.end()) {
        ++found->second.count;
        return found->second.record;
    }
    ProcessRecord record{processId, kind, {}, {}};
    switch (kind) {
        case ProcessKind::Desktop: identify_(record, false); break;
        case ProcessKind::Packaged: identify_(record, true); break;
        case ProcessKind::FrameHost:
            record.applicationId = kFrameHostId;
            record.applicationName = kFrameHostName;
            break;
    }
    Entry& entry = map.emplace(processId, Entry{0, std::move(record)}).first->second;
    // A frame host with an unresolved frame may also have ordinary windows: one watch serves both.
    if (!otherMap(kind).contains(processId)) watchProcess(static_cast<int>(processId));
    return entry.record;
}

void ProcessTable::releaseProcess(const ProcessRecord& record) {
    Map& map = mapFor(record.kind);
    const auto found = map.find(record.processId);
    if (found == map.end()) return;
    if (found->second.count > 0) {
        --found->second.count;
        return;
    }
    const DWORD processId = record.processId;
    const bool watchedForOther = otherMap(found->second.record.kind).contains(processId);
    map.erase(found);
    if (!watchedForOther) watchProcess(-static_cast<int>(processId));
}

const ProcessRecord* ProcessTable::findProcess(DWORD processId) const {
    const auto found = applications_.find(processId);
    return found == applications_.end() ? nullptr : &found->second.record;
}

void ProcessTable::watchProcess(int id) { watch_(id); }

void ProcessTable::start() {
    if (watcher_) watcher_->start();
}

void ProcessTable::stop() { watchProcess(ExitWatcher::kStop); }

}  // namespace brisko
