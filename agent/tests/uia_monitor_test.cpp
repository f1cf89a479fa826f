// The window monitor against a fake UI Automation object over a scripted desktop: what it
// reports for windows opening, closing, minimizing, application frames and ended processes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "desktop_script.h"
#include "fake_desktop.h"
#include "test_processes.h"
#include "text.h"
#include "uia/frame_host.h"
#include "uia/uia_monitor.h"

namespace brisko::UIA {
namespace {

using fakeuia::FakeDesktop;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

constexpr DWORD kWait = 20000;
// Made-up processes: nothing can open them, so they are counted without names or exit watch.
constexpr DWORD kFirst = 900004, kSecond = 900008;
// The barrier's process: its reports only mark that the worker caught up.
constexpr DWORD kProbe = 900012;
// The one process whose application frames are Store frames, as the system's frame host's are.
constexpr DWORD kFrameHost = kFirst;
constexpr DWORD kThird = 900016;

struct Report {
    enum Kind { Initial, Started, Stopped } kind;
    std::vector<DWORD> processes;  // the initial list's, sorted; the one process otherwise

    bool operator==(const Report&) const = default;
};

Report initial(std::vector<DWORD> processes = {}) { return {Report::Initial, std::move(processes)}; }
Report started(DWORD processId) { return {Report::Started, {processId}}; }
Report stopped(DWORD processId) { return {Report::Stopped, {processId}}; }

void PrintTo(const Report& report, std::ostream* out) {
    static const char* const kinds[] = {"initial", "started", "stopped"};
    *out << kinds[report.kind] << "(";
    for (const DWORD processId : report.processes) *out << " " << processId;
    *out << " )";
}

class RecordingListener final : public ActivityMonitor {
public:
    void reportInitial(const std::vector<RunningApplicationInfo>& list) override {
        std::vector<DWORD> processes;
        for (const RunningApplicationInfo& application : list) processes.push_back(application.processId);
        std::sort(processes.begin(), processes.end());
        add({Report::Initial, processes}, {});
    }
    void reportStarted(DWORD processId, const std::wstring& applicationId, const std::wstring&) override {
        add(started(processId), applicationId);
    }
    void reportStopped(DWORD processId, const std::wstring& applicationId, const std::wstring&) override {
        add(stopped(processId), applicationId);
    }

    // Waits until the report has been made at least count times.
    bool waitFor(const Report& report, long count = 1, DWORD milliseconds = kWait) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                 [&] { return std::count(reports_.begin(), reports_.end(), report) >= count; });
    }

    // Without the barrier's reports.
    std::vector<Report> reports() const {
        const std::lock_guard lock(mutex_);
        std::vector<Report> result;
        for (const Report& report : reports_) {
            if (report.kind == Report::Initial || report.processes[0] != kProbe) result.push_back(report);
        }
        return result;
    }

    std::vector<std::wstring> applicationIds() const {
        const std::lock_guard lock(mutex_);
        return applicationIds_;
    }

private:
    void add(Report report, const std::wstring& applicationId) {
        const std::lock_guard lock(mutex_);
        reports_.push_back(std::move(report));
        applicationIds_.push_back(applicationId);
        changed_.notify_all();
    }

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Report> reports_;
    std::vector<std::wstring> applicationIds_;
};

class MonitorTest : public ::testing::Test {
protected:
    void SetUp() override {
        monitor_ = makeMonitorControl(
            listener_, [desktop = desktop_] { return desktop->automation(); },
            [](DWORD processId) { return processId == kFrameHost; });
    }

    void apply(const std::string& command) {
        ASSERT_EQ(fakeuia::applyCommand(*desktop_, command), "") << command;
        ASSERT_TRUE(desktop_->waitUntilDelivered(kWait)) << command;
    }

    // Returns once the monitor's worker has handled everything delivered so far: a window of
    // the barrier's process opens and closes, and the worker handles events in order.
    void settle() {
        ++probes_;
        apply("open " + std::to_string(100000 + probes_) + " pid=" + std::to_string(kProbe));
        ASSERT_TRUE(listener_.waitFor(started(kProbe), probes_));
        apply("close " + std::to_string(100000 + probes_));
        ASSERT_TRUE(listener_.waitFor(stopped(kProbe), probes_));
    }

    void startAndWaitForInitial() {
        monitor_->start();
        for (int attempt = 0; attempt < 1000 && listener_.reports().empty(); ++attempt) ::Sleep(20);
        ASSERT_FALSE(listener_.reports().empty()) << "no initial list";
    }

    int probes_ = 0;
    std::shared_ptr<FakeDesktop> desktop_ = FakeDesktop::create();
    RecordingListener listener_;
    std::unique_ptr<MonitorControl> monitor_;
};

}  // namespace
}  // namespace brisko::UIA

namespace brisko::UIA {
namespace {

struct Scenario {
    const char* name;
    std::vector<std::string> before;  // the desktop as the monitor finds it
    std::vector<std::string> after;   // one step at a time once the initial list is out
    std::vector<Report> expected;
};

class MonitorScenario : public MonitorTest, public ::testing::WithParamInterface<Scenario> {};

TEST_P(MonitorScenario, Reports) {
    const Scenario& scenario = GetParam();
    for (const std::string& command : scenario.before) apply(command);
    startAndWaitForInitial();
    for (const std::string& command : scenario.after) {
        apply(command);
        settle();
    }
    monitor_->stop();
    EXPECT_THAT(listener_.reports(), ElementsAreArray(scenario.expected));
}

const std::string kA = " pid=" + std::to_string(kFirst);
const std::string kB = " pid=" + std::to_string(kSecond);
const std::string kC = " pid=" + std::to_string(kThird);
const std::string kFrame = " class=ApplicationFrameWindow";

INSTANTIATE_TEST_SUITE_P(
    Windows, MonitorScenario,
    ::testing::Values(
        Scenario{"no_windows", {}, {}, {initial()}},
        Scenario{"windows_before_start_only_in_the_initial_list",
                 {"add 1" + kA, "add 2" + kA, "add 3" + kB},
                 {},
                 {initial({kFirst, kSecond})}},
        Scenario{"two_windows_of_one_process_start_and_stop_once",
                 {},
                 {"open 1" + kA, "open 2" + kA, "close 1", "close 2"},
                 {initial(), started(kFirst), stopped(kFirst)}},
        Scenario{"minimize_stops_and_restore_starts",
                 {},
                 {"open 1" + kA, "state 1 2", "state 1 0", "close 1"},
                 {initial(), started(kFirst), stopped(kFirst), started(kFirst), stopped(kFirst)}},
        Scenario{"minimizing_one_of_two_windows_changes_nothing",
                 {},
                 {"open 1" + kA, "open 2" + kA, "state 1 2", "close 2", "state 1 0"},
                 {initial(), started(kFirst), stopped(kFirst), started(kFirst)}},
        Scenario{"minimized_before_start_is_not_running",
                 {"add 1" + kA + " state=2"},
                 {"state 1 0"},
                 {initial(), started(kFirst)}},
        Scenario{"closing_a_minimized_window_reports_nothing_more",
                 {},
                 {"open 1" + kA, "state 1 2", "close 1"},
                 {initial(), started(kFirst), stopped(kFirst)}},
        Scenario{"a_window_opened_twice_counts_once",
                 {},
                 {"open 1" + kA, "open 1" + kA, "close 1"},
                 {initial(), started(kFirst), stopped(kFirst)}},
        Scenario{"closing_an_unknown_window_reports_nothing", {}, {"close 5"}, {initial()}},
        Scenario{"a_store_frame_switches_to_its_hosted_process",
                 {},
                 {"open 1" + kA + kFrame, "open 2" + kB + " parent=1", "close 1"},
                 {initial(), started(kSecond), stopped(kSecond)}},
        Scenario{"a_store_frame_found_with_its_hosted_window",
                 {"add 1" + kA + kFrame, "add 2" + kB + " parent=1"},
                 {"close 1"},
                 {initial({kSecond}), stopped(kSecond)}},
        Scenario{"a_frame_without_a_hosted_window_is_never_reported",
                 {},
                 {"open 1" + kA + kFrame, "state 1 2", "state 1 0", "close 1"},
                 {initial()}},
        Scenario{"a_minimized_frame_reports_its_application_when_restored",
                 {},
                 {"open 1" + kA + kFrame, "state 1 2", "open 2" + kB + " parent=1", "state 1 0"},
                 {initial(), started(kSecond)}},
        Scenario{"a_child_of_the_frames_own_process_is_not_the_application",
                 {},
                 {"open 1" + kA + kFrame, "open 2" + kA + " parent=1", "open 3" + kB + " parent=1"},
                 {initial(), started(kSecond)}},
        // Any program may name its window class so; only the frame host's frames are frames.
        Scenario{"a_frame_class_of_another_process_is_an_ordinary_window",
                 {},
                 {"open 1" + kB + kFrame, "open 2" + kC + " parent=1", "close 1"},
                 {initial(), started(kSecond), started(kThird), stopped(kThird), stopped(kSecond)}},
        Scenario{"a_frame_class_window_before_start_is_an_ordinary_window",
                 {"add 1" + kB + kFrame},
                 {"close 1"},
                 {initial({kSecond}), stopped(kSecond)}},
        // Every process with a window on the desktop is decided, also one inside another's window.
        Scenario{"a_window_inside_another_process_window_is_that_process_application",
                 {"add 1" + kB, "add 2" + kC + " parent=1", "add 3" + kB + " parent=1"},
                 {"close 1"},
                 {initial({kSecond, kThird}), stopped(kThird), stopped(kSecond)}},
        Scenario{"a_window_placed_inside_later_is_reported_and_goes_with_its_host",
                 {},
                 {"open 1" + kB, "open 2" + kC + " parent=1", "state 1 2", "state 1 0", "close 1"},
                 {initial(), started(kSecond), started(kThird), stopped(kSecond), stopped(kThird), started(kSecond),
                  started(kThird), stopped(kThird), stopped(kSecond)}},
        Scenario{"a_hosted_window_of_a_process_with_its_own_window_counts_once",
                 {},
                 {"open 1" + kC, "open 2" + kB, "open 3" + kC + " parent=2", "close 2", "close 1"},
                 {initial(), started(kThird), started(kSecond), stopped(kSecond), stopped(kThird)}},
        // The start-up scan keeps what window events keep, whatever the control type.
        Scenario{"a_pane_on_the_desktop_before_start_is_in_the_initial_list",
                 {"add 1" + kB + " type=50033"},
                 {"close 1"},
                 {initial({kSecond}), stopped(kSecond)}},
        Scenario{"a_pane_opened_later_is_reported",
                 {},
                 {"open 1" + kB + " type=50033", "close 1"},
                 {initial(), started(kSecond), stopped(kSecond)}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MonitorTest, NothingIsReportedBeforeTheInitialListIsComplete) {
    apply("add 1" + kA);
    desktop_->holdEnumeration();
    monitor_->start();
    ASSERT_TRUE(desktop_->waitEnumerationHeld(kWait));
    apply("open 2" + kB);
    apply("open 3" + kA);
    // Delivered, so queued behind the enumeration that holds the worker: nothing can run yet.
    EXPECT_THAT(listener_.reports(), ElementsAre());
    desktop_->releaseEnumeration();
    // The walk finds every window; the queued opened events add nothing.
    ASSERT_TRUE(listener_.waitFor(initial({kFirst, kSecond})));
    settle();
    monitor_->stop();
    EXPECT_THAT(listener_.reports(), ElementsAre(initial({kFirst, kSecond})));
}

TEST_F(MonitorTest, AFailedEnumerationReportsNothingEver) {
    desktop_->setEnumerationFails(true);
    monitor_->start();
    apply("open 1" + kA);
    apply("close 1");
    apply("open 2" + kB);
    monitor_->stop();  // returns once the worker has run what the events posted
    EXPECT_THAT(listener_.reports(), ElementsAre());
}

TEST_F(MonitorTest, NoAutomationMeansNoReportsAndAQuietStop) {
    monitor_ = makeMonitorControl(listener_, [] { return ComPtr<IUIAutomation>(); });
    monitor_->start();
    monitor_->stop();
    EXPECT_THAT(listener_.reports(), ElementsAre());
}

TEST_F(MonitorTest, EventsAfterStopDoNothing) {
    startAndWaitForInitial();
    apply("open 1" + kA);
    settle();
    const auto handlers = desktop_->automationEventHandlers();
    ASSERT_EQ(handlers.size(), 2u);
    monitor_->stop();
    EXPECT_EQ(desktop_->handlerCount(), 0u);

    // UI Automation may still be inside a handler when the handlers are removed.
    const ComPtr<IUIAutomationElement> opened = desktop_->element(3);
    const ComPtr<IUIAutomationElement> closed = desktop_->element(1);
    EXPECT_EQ(handlers[0]->HandleAutomationEvent(opened.get(), kWindowOpenedEvent), S_OK);
    EXPECT_EQ(handlers[1]->HandleAutomationEvent(closed.get(), kWindowClosedEvent), S_OK);
    apply("open 4" + kB);
    apply("close 1");
    monitor_->stop();
    ::Sleep(300);
    EXPECT_THAT(listener_.reports(), ElementsAre(initial(), started(kFirst)));
}

TEST_F(MonitorTest, AProcessEndedWithWindowsOpenIsReportedStoppedOnce) {
    testing::ChildProcess application = testing::ChildProcess::sibling(L"MyApp.EXE");
    ASSERT_TRUE(application);
    const std::string pid = " pid=" + std::to_string(application.id());
    startAndWaitForInitial();
    apply("open 1" + pid);
    apply("open 2" + pid);
    apply("open 3" + kA);
    ASSERT_TRUE(listener_.waitFor(started(application.id())));

    application.end();
    ASSERT_TRUE(listener_.waitFor(stopped(application.id())));
    // Its windows are gone from the table: their late closed events change nothing.
    apply("close 1");
    apply("close 2");
    settle();
    monitor_->stop();
    EXPECT_THAT(listener_.reports(),
                ElementsAre(initial(), started(application.id()), started(kFirst), stopped(application.id())));
    EXPECT_EQ(listener_.applicationIds()[1], L"win32:myapp.exe");
}

TEST_F(MonitorTest, AProcessEndingAfterStopIsNotReported) {
    testing::ChildProcess application = testing::ChildProcess::sibling(L"MyApp.EXE");
    ASSERT_TRUE(application);
    startAndWaitForInitial();
    apply("open 1 pid=" + std::to_string(application.id()));
    ASSERT_TRUE(listener_.waitFor(started(application.id())));
    monitor_->stop();
    monitor_.reset();  // the monitor, its tables and the process table may all go now
    application.end();
    ::Sleep(500);
    EXPECT_THAT(listener_.reports(), ElementsAre(initial(), started(application.id())));
}

}  // namespace
}  // namespace brisko::UIA

namespace brisko::UIA {
namespace {

TEST(FrameHost, OnlyTheSystemFoldersFrameHostImageIsOne) {
    const struct {
        const wchar_t* image;
        const wchar_t* systemFolder;
        bool frameHost;
    } cases[] = {
        {L"C:\\Windows\\System32\\ApplicationFrameHost.exe", L"C:\\Windows\\system32", true},
        {L"C:\\WINDOWS\\SYSTEM32\\applicationframehost.EXE", L"C:\\Windows\\system32", true},
        {L"C:\\Windows\\System32\\ApplicationFrameHost.exe", L"C:\\Windows\\System32\\", true},
        {L"C:\\Users\\kid\\Downloads\\ApplicationFrameHost.exe", L"C:\\Windows\\system32", false},
        {L"C:\\Windows\\System32\\kid\\ApplicationFrameHost.exe", L"C:\\Windows\\system32", false},
        {L"C:\\Windows\\System32\\ApplicationFrameHost.exe.exe", L"C:\\Windows\\system32", false},
        {L"C:\\Windows\\System32\\ApplicationFrameHost.exe", L"", false},
        {L"", L"C:\\Windows\\system32", false},
    };
    for (const auto& c : cases) EXPECT_EQ(isFrameHostImage(c.image, c.systemFolder), c.frameHost) << wideToUtf8(c.image);
}

// The same program is the frame host in the system folder and only a copy in Downloads.
TEST(FrameHost, AProcessIsTheFrameHostByWhereItsImageLies) {
    wchar_t systemFolder[MAX_PATH];
    const UINT length = ::GetSystemDirectoryW(systemFolder, MAX_PATH);
    ASSERT_GT(length, 0u);
    const std::wstring inSystem = std::wstring(systemFolder, length) + L"\\ApplicationFrameHost.exe";
    const std::filesystem::path downloads = std::filesystem::temp_directory_path() / L"uia-monitor-test-downloads";
    std::filesystem::create_directories(downloads);
    const std::wstring inDownloads = (downloads / L"ApplicationFrameHost.exe").wstring();
    const std::wstring program = siblingPath(L"MyApp.EXE");
    ASSERT_TRUE(::CopyFileW(program.c_str(), inSystem.c_str(), FALSE)) << ::GetLastError();
    ASSERT_TRUE(::CopyFileW(program.c_str(), inDownloads.c_str(), FALSE));
    {
        testing::ChildProcess system(L"\"" + inSystem + L"\"");
        testing::ChildProcess copy(L"\"" + inDownloads + L"\"");
        ASSERT_TRUE(system && copy);
        EXPECT_TRUE(isSystemFrameHost(system.id()));
        EXPECT_FALSE(isSystemFrameHost(copy.id()));
        EXPECT_FALSE(isSystemFrameHost(kFirst)) << "no such process";
    }
    ::DeleteFileW(inSystem.c_str());
    std::filesystem::remove_all(downloads);
}

}  // namespace
}  // namespace brisko::UIA
