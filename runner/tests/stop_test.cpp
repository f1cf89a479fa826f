// The stop sequence in this process with real children (child_worker.exe as the worker and the
// stop program): however many requests arrive the stop runs once, and a shutdown holds the whole
// of it, a stop already under way included, to the time the system gives. The kill time-out and
// the pre-shutdown time-out are the prefix's registry values (SERVICE_MANAGER).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <optional>
#include <string>

#include "executable_path.h"
#include "lifecycle/service_main.h"
#include "lifecycle/service_run.h"
#include "options/options.h"
#include "process/process_handle.h"
#include "runner_test_support.h"
#include "service_fixture.h"

namespace {

using namespace runner_test;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr wchar_t Control[] = L"SYSTEM\\CurrentControlSet\\Control";
constexpr wchar_t StopService[] = L"HarbeeTestStopSequence";

// A registry value for the length of a test, put back as it was afterwards.
class RegistryValueScope {
public:
    RegistryValueScope(std::wstring path, const wchar_t* name) : path_(std::move(path)), name_(name) {
        saved_ = readRegistryValue(HKEY_LOCAL_MACHINE, path_, name_);
    }
    ~RegistryValueScope() {
        if (saved_)
            writeRegistryValue(HKEY_LOCAL_MACHINE, path_, name_, saved_->type, saved_->data.data(),
                               static_cast<DWORD>(saved_->data.size()));
        else
            ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, path_.c_str(), name_);
    }
    RegistryValueScope(const RegistryValueScope&) = delete;
    RegistryValueScope& operator=(const RegistryValueScope&) = delete;

private:
    std::wstring path_;
    const wchar_t* name_;
    std::optional<RegistryValue> saved_;
};

DWORD WINAPI stopOnThread(void* reason) {
    ServiceStop(static_cast<int>(reinterpret_cast<INT_PTR>(reason)));
    return 0;
}

class StopSequence : public ::testing::Test {
protected:
    void SetUp() override {
        resetOptionTable();
        RunState = {};
        RunState.serviceName = StopService;
        RunState.startMode = WORKER_MODE_EXE;
        RunState.stopMode = WORKER_MODE_NONE;
        RunState.shutdownEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        log_ = openLog(folder_.path().c_str(), L"stop", 0);
        setLogLevel(L"debug");
    }
    void TearDown() override {
        closeTypedHandle(worker_);
        ::CloseHandle(RunState.shutdownEvent);
        RunState = {};
    }

    void startWorker(const std::vector<std::wstring>& arguments) {
        worker_ = createProcessHandle(nullptr, nullptr);
        ASSERT_NE(worker_, nullptr);
        ASSERT_TRUE(setExecutable(worker_, childWorker_.c_str()));
        ASSERT_TRUE(setArguments(worker_, arguments));
        ASSERT_TRUE(executeProcess(worker_));
        RunState.worker = &worker_->head;
    }
    // The stop program is child_worker.exe with this one argument.
    void stopProgram(const std::wstring& argument) {
        stopParams_ = argument + std::wstring(2, L'\0');
        RunState.stopMode = WORKER_MODE_EXE;
        OptionTable[OPTION_STOP_IMAGE].stringValue = childWorker_.c_str();
        OptionTable[OPTION_STOP_PARAMS].stringValue = stopParams_.c_str();
    }
    static void stopTimeout(LONG seconds) { OptionTable[OPTION_STOP_TIMEOUT].numberValue = seconds; }

    std::string logText() const { return readFile(log_->path); }
    bool waitForLine(const std::string& line) const {
        for (int i = 0; i < 600; ++i) {
            if (logText().find(line) != std::string::npos) return true;
            ::Sleep(100);
        }
        return false;
    }
    size_t count(const std::string& line) const {
        const std::string text = logText();
        size_t found = 0;
        for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) ++found;
        return found;
    }
    static brisko::UniqueHandle stopInBackground(int reason) {
        return brisko::UniqueHandle(::CreateThread(nullptr, 0, stopOnThread,
                                                   reinterpret_cast<void*>(static_cast<INT_PTR>(reason)), 0, nullptr));
    }

    ScratchFolder folder_{L"harbee-stop-sequence"};
    PoolScope pools_;
    LogFile* log_ = nullptr;
    ProcessHandle* worker_ = nullptr;
    const std::wstring childWorker_ = brisko::siblingPath(L"child_worker.exe");
    std::wstring stopParams_;
    RegistryValueScope killTimeout_{Control, L"WaitToKillServiceTimeout"};
};

// Two CTRL+C, or a shutdown during a stop: the second request finds the stop taken and returns.
TEST_F(StopSequence, ASecondRequestFindsTheStopUnderWay) {
    const std::wstring go = folder_.file(L"go");
    startWorker({L"--until-file=" + go});
    stopProgram(L"--until-file=" + go);
    stopTimeout(60);
    const brisko::UniqueHandle first = stopInBackground(STOP_REASON_STOP);
    ASSERT_TRUE(waitForLine("Waiting for stop worker to finish..."));

    ServiceStop(STOP_REASON_STOP);
    EXPECT_EQ(::WaitForSingleObject(first.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT))
        << "the first stop cannot be over before the file exists";
    std::ofstream(brisko::wideToAnsi(go)) << "go";
    ASSERT_EQ(::WaitForSingleObject(first.get(), 60000), WAIT_OBJECT_0);
    EXPECT_EQ(count("Service stop thread completed."), 1u);
    EXPECT_EQ(count("The service is already stopping"), 1u);
    EXPECT_EQ(::WaitForSingleObject(RunState.shutdownEvent, 0), WAIT_OBJECT_0);
}

// The stop call and the wait for the worker share the kill time-out: the worker gets nothing
// after a stop call that used it all, instead of a time-out of its own.
TEST_F(StopSequence, AShutdownFitsInTheKillTimeout) {
    writeRegistryString(HKEY_LOCAL_MACHINE, Control, L"WaitToKillServiceTimeout", L"3000");
    startWorker({L"--ignore-input"});
    stopProgram(L"--ignore-input");
    stopTimeout(600);
    ServiceStop(STOP_REASON_SHUTDOWN);
    const std::string text = logText();
    EXPECT_THAT(text, HasSubstr("The stop must be over within 3000 ms"));
    EXPECT_THAT(text, HasSubstr("Stop worker did not finish in"));
    EXPECT_THAT(text, HasSubstr("Sending WM_CLOSE to worker"));
    EXPECT_THAT(text, Not(HasSubstr("Waiting for worker to die naturally...")));
}

TEST_F(StopSequence, AShutdownDuringAStopCutsItShort) {
    writeRegistryString(HKEY_LOCAL_MACHINE, Control, L"WaitToKillServiceTimeout", L"3000");
    const std::wstring never = folder_.file(L"never");
    startWorker({L"--until-file=" + never});
    stopProgram(L"--until-file=" + never);
    stopTimeout(600);
    const brisko::UniqueHandle first = stopInBackground(STOP_REASON_STOP);
    ASSERT_TRUE(waitForLine("Waiting for stop worker to finish..."));
    ServiceStop(STOP_REASON_SHUTDOWN);
    EXPECT_EQ(::WaitForSingleObject(first.get(), 60000), WAIT_OBJECT_0) << "the stop kept its ten minutes";
    const std::string text = logText();
    EXPECT_THAT(text, HasSubstr("The service is already stopping"));
    EXPECT_THAT(text, HasSubstr("Stop worker did not finish in"));
    EXPECT_THAT(text, HasSubstr("Sending WM_CLOSE to worker"));
}

// The pre-shutdown notice comes with the time the service manager waits for this service.
TEST_F(StopSequence, APreShutdownNoticeStopsWithinThePreShutdownTimeout) {
    const std::wstring key = serviceKey(StopService);
    const DWORD preshutdown = 2000;
    writeRegistryValue(HKEY_LOCAL_MACHINE, key, L"PreshutdownTimeout", REG_DWORD, &preshutdown, sizeof(preshutdown));
    writeRegistryString(HKEY_LOCAL_MACHINE, Control, L"WaitToKillServiceTimeout", L"20000");
    startWorker({L"--ignore-input"});
    stopTimeout(600);
    EXPECT_EQ(serviceControlHandler(SERVICE_CONTROL_PRESHUTDOWN, 0, nullptr, nullptr), static_cast<DWORD>(NO_ERROR));
    const bool stopped = ::WaitForSingleObject(RunState.shutdownEvent, 60000) == WAIT_OBJECT_0;
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, key.c_str());
    ASSERT_TRUE(stopped);
    const std::string text = logText();
    EXPECT_THAT(text, HasSubstr("Service PRESHUTDOWN signaled"));
    EXPECT_THAT(text, HasSubstr("The stop must be over within 2000 ms"));
    EXPECT_THAT(text, HasSubstr("Worker was killed in"));
    EXPECT_EQ(serviceControlHandler(0x7F, 0, nullptr, nullptr), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
}

}  // namespace
