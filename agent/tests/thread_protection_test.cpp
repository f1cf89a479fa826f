// The agent's thread protection in this process, as the agent sets it up first thing: this
// thread, the threads the agent's parts start (the window monitor's worker, the exit watcher's
// wait threads, the proxy guard's settings watch, a plain agent thread) and threads started by
// anyone else (a CreateThread without descriptor, a std::thread) all carry the agent's thread
// descriptor, and none can be opened for what would stop or steer it.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "identification/exit_watcher.h"
#include "loop/thread_protection.h"
#include "proxy/settings_watch.h"
#include "test_core.h"
#include "text.h"
#include "thread_descriptors.h"
#include "uia/work_queue.h"

namespace brisko {
namespace {

using namespace std::chrono_literals;

DWORD WINAPI waitForEvent(void* event) {
    ::WaitForSingleObject(static_cast<HANDLE>(event), INFINITE);
    return 0;
}

TEST(ThreadProtection, EveryThreadOfTheProcessCarriesTheAgentsThreadDescriptor) {
    ASSERT_TRUE(protectAgentThreads());
    const UniqueHandle release(::CreateEventW(nullptr, TRUE, FALSE, nullptr));

    const UniqueHandle own = startAgentThread([event = release.get()] { ::WaitForSingleObject(event, INFINITE); });
    ASSERT_TRUE(own);
    const std::shared_ptr<UIA::WorkQueue> queue = UIA::WorkQueue::start();
    ASSERT_TRUE(queue);
    ExitWatcher watcher([](DWORD) {});
    watcher.start();
    SettingsWatch watch([] {});
    ASSERT_TRUE(watch.start());
    const UniqueHandle foreign(::CreateThread(nullptr, 0, &waitForEvent, release.get(), 0, nullptr));
    ASSERT_TRUE(foreign);
    std::thread library([event = release.get()] { ::WaitForSingleObject(event, INFINITE); });

    const std::wstring user = testing::ownAccount();
    ASSERT_FALSE(user.empty());
    const std::vector<DWORD> threads = testing::threadsOf(::GetCurrentProcessId());
    EXPECT_GE(threads.size(), 7u) << "this one, the agent thread, the worker, a wait thread, the watch, two others";
    for (const DWORD thread : threads) {
        // Under Wine the owner (whom OWNER RIGHTS should bind) may still read the descriptor.
        const UniqueHandle readable(::OpenThread(READ_CONTROL, FALSE, thread));
        ASSERT_TRUE(readable) << "thread " << thread << ": " << ::GetLastError();
        const std::optional<testing::ThreadDacl> dacl = testing::readThreadDacl(readable.get());
        ASSERT_TRUE(dacl) << "thread " << thread;
        EXPECT_TRUE(dacl->isProtected) << "thread " << thread;
        EXPECT_TRUE(dacl->onlyAllowEntries) << "thread " << thread;
        EXPECT_EQ(dacl->allowed, testing::agentThreadEntries(user)) << "thread " << thread;
        for (const testing::ThreadRight& right : testing::kDeniedThreadRights)
            EXPECT_FALSE(UniqueHandle(::OpenThread(right.mask, FALSE, thread))) << "may " << right.name << " " << thread;
    }

    ::SetEvent(release.get());
    library.join();
    watch.stop();
    watcher.stop();
    queue->post([q = queue.get()] { q->stopRunning(); });
}

}  // namespace
}  // namespace brisko
