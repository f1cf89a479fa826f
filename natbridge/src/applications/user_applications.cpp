#include "applications/user_applications.h"

#include <algorithm>

namespace brisko {

int32_t UserApplications::count(const std::wstring& applicationId) const {
    const auto found = counts_.find(applicationId);
    return found == counts_.end() ? 0 : found->second;
}

bool UserApplications::add(const ApplicationProcess& process, ApplicationDecisions& decisions) {
    const auto listed = std::find_if(running_.begin(), running_.end(),
                                     [&](const ApplicationProcess& p) { return p.processId == process.processId; });
    if (listed != running_.end()) {
        if (listed->applicationId == process.applicationId) {
            // The same application may run under a reused id: the process is the one reported now.
            *listed = process;
            return true;
        }
        remove(process.processId, decisions);
    } else if (running_.size() >= kMaxUserProcesses) {
        return false;
    }
    if (const auto found = counts_.find(process.applicationId); found != counts_.end()) {
        ++found->second;
        running_.push_back(process);
        return true;
    }
    if (!decisions.shouldStart(process, userName_)) {
        decisions.terminate(process);
        return true;
    }
    running_.push_back(process);
    counts_[process.applicationId] = 1;
    return true;
}

void UserApplications::remove(int32_t processId, ApplicationDecisions& decisions) {
    const auto entry = std::find_if(running_.begin(), running_.end(),
                                    [&](const ApplicationProcess& p) { return p.processId == processId; });
    if (entry == running_.end()) return;
    const ApplicationProcess process = *entry;
    running_.erase(entry);
    const auto count = counts_.find(process.applicationId);
    if (count->second == 1) {
        counts_.erase(count);
        decisions.didStop(process, userName_);
    } else {
        --count->second;
    }
}

void UserApplications::synchronise(const std::vector<ApplicationProcess>& reported,
                                   ApplicationDecisions& decisions) {
    const auto isReported = [&](int32_t processId) {
        return std::any_of(reported.begin(), reported.end(),
                           [&](const ApplicationProcess& p) { return p.processId == processId; });
    };
    std::vector<int32_t> gone;
    for (const ApplicationProcess& process : running_)
        if (!isReported(process.processId)) gone.push_back(process.processId);
    for (const int32_t processId : gone) remove(processId, decisions);
    for (const ApplicationProcess& process : reported) add(process, decisions);
}

}  // namespace brisko
