#include "applications/application_registry.h"

#include <algorithm>

namespace brisko {

// Runs each decision with listLock released; applicationLock stays held by the caller.
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

UserApplications* ApplicationRegistry::find(void* list) {
    const auto found = std::find_if(userLists_.begin(), userLists_.end(),
                                    [&](const auto& candidate) { return candidate.get() == list; });
    return found == userLists_.end() ? nullptr : found->get();
}

UserApplications* ApplicationRegistry::open(const std::wstring& userName,
                                             const std::vector<ApplicationProcess>& reported) {
    std::lock_guard application(applicationLock_);
    std::unique_lock lists(listLock_);
    auto found = std::find_if(userLists_.begin(), userLists_.end(),
                              [&](const auto& candidate) { return candidate->userName() == userName; });
    if (found == userLists_.end())
        found = userLists_.insert(userLists_.end(), std::make_unique<UserApplications>(userName));
    UserApplications* list = found->get();
    Decisions decisions(*this, lists);
    list->synchronise(reported, decisions);
    return list;
}

bool ApplicationRegistry::started(void* list, const ApplicationProcess& process) {
    std::lock_guard application(applicationLock_);
    std::unique_lock lists(listLock_);
    UserApplications* user = find(list);
    if (!user) return true;
    Decisions decisions(*this, lists);
    return user->add(process, decisions);
}

void ApplicationRegistry::stopped(void* list, int32_t processId) {
    std::lock_guard application(applicationLock_);
    std::unique_lock lists(listLock_);
    if (UserApplications* user = find(list)) {
        Decisions decisions(*this, lists);
        user->remove(processId, decisions);
    }
}

void ApplicationRegistry::close() { std::lock_guard application(applicationLock_); }

void ApplicationRegistry::terminateApplication(const std::wstring& applicationId, const std::wstring& userName) {
    std::vector<ApplicationProcess> processes;
    {
        std::lock_guard lists(listLock_);
        const auto user = std::find_if(userLists_.begin(), userLists_.end(),
                                       [&](const auto& candidate) { return candidate->userName() == userName; });
        if (user == userLists_.end()) return;
        for (const ApplicationProcess& process : (*user)->running())
            if (process.applicationId == applicationId) processes.push_back(process);
    }
    for (const ApplicationProcess& process : processes) terminate_(process);
}

}  // namespace brisko
