#pragma once
// One user's list of allowed application processes and the decisions that keep it: the first
// process of an application is decided, the last one ending is reported. No locks and no
// system calls here; the registry supplies both through ApplicationDecisions.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace brisko {

struct ApplicationProcess {
    int32_t processId = 0;
    std::wstring applicationId;
    std::wstring applicationName;
    // When the process was created, as the service found it at the report: with the id, it names
    // this process even after the id has passed to another one.
    uint64_t createdAt = 0;

    bool operator==(const ApplicationProcess&) const = default;
};

// The most processes one user's list holds, which is also the most one report may list.
inline constexpr size_t kMaxUserProcesses = 4096;

class ApplicationDecisions {
public:
    virtual ~ApplicationDecisions() = default;
    // Asks whether the first process of an application may run.
    virtual bool shouldStart(const ApplicationProcess& process, const std::wstring& userName) = 0;
    // Reports that the last process of an application ended.
    virtual void didStop(const ApplicationProcess& process, const std::wstring& userName) = 0;
    // Ends a refused process.
    virtual void terminate(const ApplicationProcess& process) = 0;
};

class UserApplications {
public:
    explicit UserApplications(std::wstring userName) : userName_(std::move(userName)) {}

    const std::wstring& userName() const { return userName_; }
    const std::vector<ApplicationProcess>& running() const { return running_; }
    int32_t count(const std::wstring& applicationId) const;

    // A process whose id is listed already replaces that entry: with the same application it is
    // the same start (nothing is decided), with another one the old entry is removed first.
    // False, and nothing done, when the list is full.
    bool add(const ApplicationProcess& process, ApplicationDecisions& decisions);
    void remove(int32_t processId, ApplicationDecisions& decisions);
    // Brings the list to what an agent reports as running now (at most kMaxUserProcesses
    // processes; the list then holds only reported ones).
    void synchronise(const std::vector<ApplicationProcess>& reported, ApplicationDecisions& decisions);

private:
    std::wstring userName_;
    std::vector<ApplicationProcess> running_;
    std::map<std::wstring, int32_t> counts_;
};

}  // namespace brisko
