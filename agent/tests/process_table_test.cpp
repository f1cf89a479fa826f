#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "identification/exit_watcher.h"
#include "identification/process_table.h"
#include "test_processes.h"

namespace brisko {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAreArray;
using testing::ChildProcess;

// --- Reference counts and watch requests, with identification and watching faked -----------

class ProcessTableRules : public ::testing::Test {
protected:
    ProcessTable table{[this](ProcessRecord& record, bool skipDescription) {
                           identified.push_back({record.processId, skipDescription});
                           record.applicationId = L"win32:app" + std::to_wstring(record.processId) + L".exe";
                           record.applicationName = L"App";
                           if (record.processId == kPackagedId) record.kind = ProcessKind::Packaged;
                       },
                       [this](int id) { watched.push_back(id); }};
    static constexpr DWORD kPackagedId = 77;
    std::vector<std::pair<DWORD, bool>> identified;
    std::vector<int> watched;
};

TEST_F(ProcessTableRules, AcquiredThreeTimesIsWatchedOnceAndErasedOnTheThirdRelease) {
    ProcessRecord& first = table.acquireProcess(10, ProcessKind::Desktop);
    ProcessRecord& second = table.acquireProcess(10, ProcessKind::Desktop);
    ProcessRecord& third = table.acquireProcess(10, ProcessKind::Desktop);
    EXPECT_EQ(&first, &second);
    EXPECT_EQ(&first, &third);
    EXPECT_EQ(identified.size(), 1u);
    EXPECT_THAT(watched, ElementsAre(10));

    table.releaseProcess(first);
    table.releaseProcess(first);
    EXPECT_EQ(table.findProcess(10), &first);
    EXPECT_THAT(watched, ElementsAre(10));
    table.releaseProcess(first);
    EXPECT_EQ(table.findProcess(10), nullptr);
    EXPECT_THAT(watched, ElementsAre(10, -10));
}

TEST_F(ProcessTableRules, KindChoosesHowAProcessIsIdentified) {
    const ProcessRecord& desktop = table.acquireProcess(10, ProcessKind::Desktop);
    const ProcessRecord& packaged = table.acquireProcess(20, ProcessKind::Packaged);
    const ProcessRecord& frame = table.acquireProcess(30, ProcessKind::FrameHost);
    EXPECT_THAT(identified, ElementsAre(std::pair<DWORD, bool>{10, false}, std::pair<DWORD, bool>{20, true}));
    EXPECT_EQ(desktop.applicationId, L"win32:app10.exe");
    EXPECT_EQ(packaged.kind, ProcessKind::Packaged);
    EXPECT_EQ(frame.kind, ProcessKind::FrameHost);
    EXPECT_EQ(frame.applicationId, L"AppStoreHost");
    EXPECT_EQ(frame.applicationName, L"App Store Host");
    // Frame hosts are kept apart from the applications.
    EXPECT_EQ(table.findProcess(30), nullptr);
    EXPECT_EQ(table.findProcess(20), &packaged);
}

TEST_F(ProcessTableRules, AFrameHostWithOrdinaryWindowsIsWatchedOnce) {
    const ProcessRecord& frame = table.acquireProcess(30, ProcessKind::FrameHost);
    const ProcessRecord& desktop = table.acquireProcess(30, ProcessKind::Desktop);
    EXPECT_NE(&frame, &desktop);
    EXPECT_THAT(watched, ElementsAre(30));

    table.releaseProcess(frame);
    EXPECT_THAT(watched, ElementsAre(30));
    table.releaseProcess(desktop);
    EXPECT_THAT(watched, ElementsAre(30, -30));

    // The other order ends the same way.
    const ProcessRecord& desktopAgain = table.acquireProcess(30, ProcessKind::Desktop);
    const ProcessRecord& frameAgain = table.acquireProcess(30, ProcessKind::FrameHost);
    table.releaseProcess(desktopAgain);
    table.releaseProcess(frameAgain);
    EXPECT_THAT(watched, ElementsAre(30, -30, 30, -30));
}

TEST_F(ProcessTableRules, ARecordIdentifiedAsPackagedStaysWithTheApplications) {
    ProcessRecord& record = table.acquireProcess(kPackagedId, ProcessKind::Desktop);
    EXPECT_EQ(record.kind, ProcessKind::Packaged);
    // A later Desktop acquisition finds the same record.
    EXPECT_EQ(&table.acquireProcess(kPackagedId, ProcessKind::Desktop), &record);
    table.releaseProcess(record);
    table.releaseProcess(record);
    EXPECT_EQ(table.findProcess(kPackagedId), nullptr);
    EXPECT_THAT(watched, ElementsAre(kPackagedId, -static_cast<int>(kPackagedId)));
}

TEST_F(ProcessTableRules, StopAsksTheWatcherToEnd) {
    table.stop();
    EXPECT_THAT(watched, ElementsAre(ExitWatcher::kStop));
}

// --- The exit watcher with real processes ---------------------------------------------------

class ExitRecorder {
public:
    ExitWatcher::ExitCallback callback() {
        return [this](DWORD processId) {
            const std::lock_guard lock(mutex_);
            exited_.push_back(processId);
            changed_.notify_all();
        };
    }

    // Waits until processId was reported; false after the time-out.
    bool waitFor(DWORD processId, std::chrono::seconds timeout = std::chrono::seconds(30)) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] {
            return std::find(exited_.begin(), exited_.end(), processId) != exited_.end();
        });
    }

    bool waitForCount(size_t count, std::chrono::seconds timeout = std::chrono::seconds(60)) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return exited_.size() >= count; });
    }

    std::vector<DWORD> exited() {
        const std::lock_guard lock(mutex_);
        return exited_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<DWORD> exited_;
};

ChildProcess startHelper() { return ChildProcess::sibling(L"MyApp.EXE"); }

TEST(ProcessTableExits, AnEndedProcessIsReportedOnce) {
    ExitRecorder recorder;
    ProcessTable table(recorder.callback());
    table.start();
    ChildProcess doomed = startHelper();
    ChildProcess sentinel = startHelper();
    ASSERT_TRUE(doomed && sentinel);

    const ProcessRecord& record = table.acquireProcess(doomed.id(), ProcessKind::Desktop);
    table.acquireProcess(doomed.id(), ProcessKind::Desktop);
    EXPECT_EQ(record.applicationId, L"win32:myapp.exe");
    doomed.end();
    ASSERT_TRUE(recorder.waitFor(doomed.id()));
    // The watcher never touches the table: the record waits for its windows to go.
    EXPECT_EQ(table.findProcess(doomed.id()), &record);

    // A later exit in the same wait shows that the first was not reported again.
    table.acquireProcess(sentinel.id(), ProcessKind::Desktop);
    sentinel.end();
    ASSERT_TRUE(recorder.waitFor(sentinel.id()));
    EXPECT_THAT(recorder.exited(), ElementsAre(doomed.id(), sentinel.id()));
    table.stop();
}

TEST(ProcessTableExits, AReleasedProcessIsNoLongerWatched) {
    ExitRecorder recorder;
    ProcessTable table(recorder.callback());
    table.start();
    ChildProcess released = startHelper();
    ChildProcess sentinel = startHelper();
    ASSERT_TRUE(released && sentinel);

    table.releaseProcess(table.acquireProcess(released.id(), ProcessKind::Desktop));
    table.acquireProcess(sentinel.id(), ProcessKind::Desktop);
    // Had the released process stayed in the wait, its earlier exit would be reported first.
    released.end();
    sentinel.end();
    ASSERT_TRUE(recorder.waitFor(sentinel.id()));
    EXPECT_THAT(recorder.exited(), ElementsAre(sentinel.id()));
    table.stop();
}

TEST(ExitWatcher, NothingIsReportedAfterStopAndTheThreadsEnd) {
    ExitRecorder recorder;
    ExitWatcher watcher(recorder.callback());
    ChildProcess child = startHelper();
    ASSERT_TRUE(child);
    watcher.start();
    watcher.watchProcess(static_cast<int>(child.id()));
    watcher.stop();
    ASSERT_TRUE(watcher.waitUntilStopped(30000));
    child.end();
    watcher.watchProcess(static_cast<int>(child.id()));  // ignored once stopped
    EXPECT_THAT(recorder.exited(), IsEmpty());
}

TEST(ExitWatcher, WatchedBeforeStartIsReported) {
    ExitRecorder recorder;
    ExitWatcher watcher(recorder.callback());
    ChildProcess child = startHelper();
    ASSERT_TRUE(child);
    watcher.watchProcess(static_cast<int>(child.id()));
    watcher.start();
    child.end();
    EXPECT_TRUE(recorder.waitFor(child.id()));
    watcher.stop();
    EXPECT_TRUE(watcher.waitUntilStopped(30000));
}

TEST(ExitWatcher, MoreThanOneWaitOfProcessesAreSpreadOverWaitGroups) {
    constexpr size_t kProcesses = ExitWatcher::kProcessesPerWait + 7;
    ExitRecorder recorder;
    ExitWatcher watcher(recorder.callback());
    watcher.start();
    std::vector<ChildProcess> children;
    std::vector<DWORD> ids;
    for (size_t i = 0; i < kProcesses; ++i) {
        children.push_back(startHelper());
        ASSERT_TRUE(children.back()) << "helper " << i;
        ids.push_back(children.back().id());
        watcher.watchProcess(static_cast<int>(ids.back()));
        EXPECT_EQ(watcher.waitGroupCount(), i < ExitWatcher::kProcessesPerWait ? 1u : 2u) << "after " << i + 1;
    }
    // A slot freed in the first group is used again before any new group is made.
    watcher.watchProcess(-static_cast<int>(ids.front()));
    watcher.watchProcess(static_cast<int>(ids.front()));
    EXPECT_EQ(watcher.waitGroupCount(), 2u);

    for (ChildProcess& child : children) child.end();
    ASSERT_TRUE(recorder.waitForCount(kProcesses));
    EXPECT_THAT(recorder.exited(), UnorderedElementsAreArray(ids));
    watcher.stop();
    EXPECT_TRUE(watcher.waitUntilStopped(30000));
}

}  // namespace
}  // namespace brisko
