#pragma once
// Every user's application list, the decisions through the Handler and the core's terminate
// request. The lock rules are beside the locks.
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "applications/handler.h"
#include "applications/user_applications.h"

namespace brisko {

class ApplicationRegistry {
public:
    using Terminate = std::function<void(const ApplicationProcess& process)>;

    ApplicationRegistry(Handler handler, Terminate terminate);

    // Finds or creates the user's list and synchronises it with the agent's report.
    UserApplications* open(const std::wstring& userName, const std::vector<ApplicationProcess>& reported);
    // Both do nothing for a list that is not one of this registry's. started answers false,
    // having done nothing, when the user's list is full.
    bool started(void* list, const ApplicationProcess& process);
    void stopped(void* list, int32_t processId);
    // Orders itself after the calls that run on that user's list; the list itself stays.
    void close(void* list);
    // Ends every listed process of that application of that user (user names compare exactly).
    void terminateApplication(const std::wstring& applicationId, const std::wstring& userName);

private:
    class Decisions;
    struct User {
        explicit User(const std::wstring& name) : applications(name) {}
        std::mutex calls;
        UserApplications applications;
    };
    // Under listLock; users are never removed, so the answer stays valid.
    User* find(void* list);

    Handler handler_;
    Terminate terminate_;
    // A decision waits for the event thread, and the event thread itself calls
    // terminateApplication. Two kinds of lock keep them apart:
    //   each User's calls - held by every RPC procedure on that user's list for its whole body,
    //                       decisions included, so one decision of a user is pending at a time
    //                       and the user's list changes in call order; a slow decision of one
    //                       user does not hold up the calls of another;
    //   listLock_         - guards the lists' content for short moments and is never held while
    //                       a decision waits. terminateApplication takes only this one.
    // A call lock is always taken before listLock_. So the event thread never waits for a lock
    // whose holder waits for the event thread, also when the core calls terminate from inside
    // shouldStartApplication. Neither is ever held with the agent manager's supervisorLock_.
    std::mutex listLock_;
    std::list<User> userLists_;
};

}  // namespace brisko
