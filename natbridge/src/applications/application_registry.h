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
    // Orders itself after the calls that run; the list itself stays.
    void close();
    // Ends every listed process of that application of that user (user names compare exactly).
    void terminateApplication(const std::wstring& applicationId, const std::wstring& userName);

private:
    class Decisions;
    UserApplications* find(void* list);

    Handler handler_;
    Terminate terminate_;
    // A decision waits for the event thread, and the event thread itself calls
    // terminateApplication. Two locks keep them apart:
    //   applicationLock_ - held by every RPC procedure for its whole body, decisions included,
    //                      so one decision at a time is pending and lists change in call order;
    //   listLock_        - guards the lists' content for short moments and is never held while
    //                      a decision waits. terminateApplication takes only this one.
    // So the event thread never waits for a lock whose holder waits for the event thread, also
    // when the core calls terminate from inside shouldStartApplication. Neither is ever held
    // with the agent manager's supervisorLock_.
    std::mutex applicationLock_;
    std::mutex listLock_;
    std::list<std::unique_ptr<UserApplications>> userLists_;
};

}  // namespace brisko
