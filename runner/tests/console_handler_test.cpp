// What each console event does to a running worker (a child_worker.exe that ignores its
// input), called the way the console calls the handler. Under Wine a test cannot join the
// runner's console to send the events themselves.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "executable_path.h"
#include "lifecycle/service_main.h"
#include "lifecycle/service_run.h"
#include "options/options.h"
#include "process/process_handle.h"
#include "runner_test_support.h"

namespace {

using namespace runner_test;

struct EventCase {
    const char* name;
    DWORD event;
    BOOL runningAsService;
    BOOL handled;
    bool stops;
};

class ConsoleEvents : public ::testing::TestWithParam<EventCase> {
protected:
    void SetUp() override {
        resetOptionTable();
        RunState = {};
        RunState.startMode = WORKER_MODE_EXE;
        RunState.stopMode = WORKER_MODE_NONE;
        RunState.runningAsService = GetParam().runningAsService;
        worker_ = createProcessHandle(nullptr, nullptr);
        ASSERT_NE(worker_, nullptr);
        ASSERT_TRUE(setExecutable(worker_, brisko::siblingPath(L"child_worker.exe").c_str()));
        ASSERT_TRUE(setArguments(worker_, {L"--ignore-input"}));
        ASSERT_TRUE(executeProcess(worker_));
        RunState.worker = &worker_->head;
    }
    void TearDown() override {
        closeTypedHandle(worker_);
        if (RunState.shutdownEvent) ::CloseHandle(RunState.shutdownEvent);
        RunState = {};
    }

    PoolScope pools_;
    ProcessHandle* worker_ = nullptr;
};

TEST_P(ConsoleEvents, StopTheWorkerOrLeaveIt) {
    const EventCase& c = GetParam();
    EXPECT_EQ(consoleHandler(c.event), c.handled);
    EXPECT_EQ(waitProcess(worker_, c.stops ? 10000 : 500, FALSE) == 0, c.stops);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConsoleEvents,
    ::testing::Values(EventCase{"control_c", CTRL_C_EVENT, FALSE, TRUE, true},
                      EventCase{"close", CTRL_CLOSE_EVENT, FALSE, TRUE, true},
                      EventCase{"shutdown", CTRL_SHUTDOWN_EVENT, TRUE, TRUE, true},
                      EventCase{"logoff_in_a_console", CTRL_LOGOFF_EVENT, FALSE, TRUE, true},
                      EventCase{"logoff_of_a_service", CTRL_LOGOFF_EVENT, TRUE, TRUE, false},
                      // Without a JVM to print its threads, nothing may end the runner.
                      EventCase{"control_break_without_a_jvm", CTRL_BREAK_EVENT, FALSE, TRUE, false},
                      EventCase{"unknown_event", 99, FALSE, FALSE, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
