#include "applications/application_registry.h"

#include <algorithm>

namespace brisko {

// Runs each decision with listLock released; the user's call lock stays held by the caller.
class ApplicationRegistry::Decisions : public ApplicationDecisions {
public:
    Decisions(ApplicationRegistry& registry, std::unique_lock<std::mutex>& listLock)
        : registry_(registry), listLock_(listLock) {}

    bool shouldStart(const ApplicationProcess& process, const std::wstring& userName) override {
        Unlocked unlocked(listLock_);
        return registry_.handler_(process.applicationId, process.applicationName, userName, true);
    }
    void didStop(const ApplicationProcess& process, const std::wstring& userName) override {
        Unlocked unlocked(listLock_);
        registry_.handler_(process.applicationId, process.applicationName, userName, false);
    }
    void terminate(const ApplicationProcess& process) override { registry_.terminate_(process); }

private:
    struct Unlocked {
        explicit Unlocked(std::unique_lock<std::mutex>& lock) : lock_(lock) { lock_.unlock(); }
        ~Unlocked() { lock_.lock(); }
        std::unique_lock<std::mutex>& lock_;
    };

    ApplicationRegistry& registry_;
    std::unique_lock<std::mutex>& listLock_;
};

ApplicationRegistry::ApplicationRegistry(Handler handler, Terminate terminate)
    : handler_(std::move(handler)), terminate_(std::move(terminate)) {}

ApplicationRegistry::User* ApplicationRegistry::find(void* list) {
    const auto found = std::find_if(userLists_.begin(), userLists_.end(),
                                    [&](const User& candidate) { return &candidate.applications == list; });
    return found == userLists_.end() ? nullptr : &*found;
}

UserApplications* ApplicationRegistry::open(const std::wstring& userName,
                                             const std::vector<ApplicationProcess>& reported) {
    User* user = nullptr;
    {
        const std::lock_guard lists(listLock_);
        auto found = std::find_if(userLists_.begin(), userLists_.end(),
                                  [&](const User& candidate) { return candidate.applications.userName() == userName; });
        if (found == userLists_.end()) found = userLists_.emplace(userLists_.end(), userName);
        user = &*found;
    }
    const std::lock_guard calls(user->calls);
    std::unique_lock lists(listLock_);
    Decisions decisions(*this, lists);
    user->applications.synchronise(reported, decisions);
    return &user->applications;
}

bool ApplicationRegistry::started(void* list, const ApplicationProcess& process) {
    User* user = nullptr;
    {
        const std::lock_guard lists(listLock_);
        user = find(list);
    }
    if (!user) return true;
    const std::lock_guard calls(user->calls);
    std::unique_lock lists(listLock_);
    Decisions decisions(*this, lists);
    return user->applications.add(process, decisions);
}

void ApplicationRegistry::stopped(void* list, int32_t processId) {
    User* user = nullptr;
    {
        const std::lock_guard lists(listLock_);
        user = find(list);
    }
    if (!user) return;
    const std::lock_guard calls(user->calls);
    std::unique_lock lists(listLock_);
    Decisions decisions(*this, lists);
    user->applications.remove(processId, decisions);
}

void ApplicationRegistry::close(void* list) {
    User* user = nullptr;
    {
        const std::lock_guard lists(listLock_);
        user = find(list);
    }
    if (!user) return;
    const std::lock_guard calls(user->calls);
}

void ApplicationRegistry::terminateApplication(const std::wstring& applicationId, const std::wstring& userName) {
    std::vector<ApplicationProcess> processes;
    {
        std::lock_guard lists(listLock_);
        const auto user = std::find_if(userLists_.begin(), userLists_.end(), [&](const User& candidate) {
            return candidate.applications.userName() == userName;
        });
        if (user == userLists_.end()) return;
        for (const ApplicationProcess& process : user->applications.running())
            if (process.applicationId == applicationId) processes.push_back(process);
    }
    for (const ApplicationProcess& process : processes) terminate_(process);
}

}  // namespace brisko
