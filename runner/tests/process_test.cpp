// Child-process handles with real children (child_worker.exe): output byte for byte, the exit
// code, and the three steps that end a child that does not go.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

#include "executable_path.h"
#include "foundation/worker_exit.h"
#include "process/process_handle.h"
#include "runner_test_support.h"
#include "text.h"

namespace {

using namespace runner_test;

// The bytes a child wrote, per pipe.
struct Captured {
    std::mutex lock;
    std::string output;
    std::string error;
};
Captured captured;

void capture(ProcessHandle*, BOOL fromError, char byte) {
    const std::lock_guard guard(captured.lock);
    (fromError ? captured.error : captured.output) += byte;
}

class ChildProcess : public ::testing::Test {
protected:
    void SetUp() override {
        const std::lock_guard guard(captured.lock);
        captured.output.clear();
        captured.error.clear();
        setWorkerExitCode(-1);
    }

    static ProcessHandle* start(const std::vector<std::wstring>& arguments) {
        ProcessHandle* handle = createProcessHandle(nullptr, nullptr);
        if (!handle) return nullptr;
        handle->outputCallback = capture;
        if (!setExecutable(handle, brisko::siblingPath(L"child_worker.exe").c_str()) ||
            !setArguments(handle, arguments) || !setWorkingDirectory(handle, nullptr) || !executeProcess(handle)) {
            closeTypedHandle(handle);
            return nullptr;
        }
        return handle;
    }

    PoolScope pools_;
};

TEST_F(ChildProcess, OutputArrivesByteForByteAndTheExitCodeIsKept) {
    ProcessHandle* handle = start({L"--out=410a0d00ff42", L"--err=0a21", L"--exit=7"});
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(waitProcess(handle, 30000, FALSE), 0u);
    EXPECT_EQ(captured.output, std::string("A\n\r\0\xff" "B", 6));
    EXPECT_EQ(captured.error, "\n!");
    EXPECT_EQ(processExitCode(), 7);
    EXPECT_TRUE(handle->state & PROCESS_EXITED);
    EXPECT_TRUE(closeTypedHandle(handle));
}

TEST_F(ChildProcess, ArgumentsReachTheChildAsTheyWereGiven) {
    const ScratchFolder folder(L"harbee-child-arguments");
    const std::vector<std::wstring> arguments = {L"--args=" + folder.file(L"args.bin"), L"C:\\dir with space\\",
                                                 L"a\"b", L"\"q x\"", L"end\\", L"", L"back\\\\\" slash"};
    ProcessHandle* handle = start(arguments);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(waitProcess(handle, 30000, FALSE), 0u);
    std::vector<std::wstring> seen;
    const std::string recorded = readFile(folder.file(L"args.bin"));
    for (size_t at = 0, end; (end = recorded.find('\0', at)) != std::string::npos; at = end + 1)
        seen.push_back(brisko::utf8ToWide(recorded.substr(at, end - at)));
    EXPECT_EQ(seen, arguments);
    closeTypedHandle(handle);
}

TEST_F(ChildProcess, EndOfInputEndsAChildThatReadsIt) {
    ProcessHandle* handle = start({L"--until-input-ends", L"--exit=3"});
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(waitProcess(handle, 500, FALSE), static_cast<DWORD>(WAIT_TIMEOUT));
    const ULONGLONG before = ::GetTickCount64();
    EXPECT_TRUE(closeTypedHandle(handle));
    EXPECT_LT(::GetTickCount64() - before, 1000u);
    EXPECT_EQ(processExitCode(), 3);
}

TEST_F(ChildProcess, AChildIgnoringItsInputIsEndedInsideWithTheRunnersCode) {
    ProcessHandle* handle = start({L"--ignore-input"});
    ASSERT_NE(handle, nullptr);
    const ULONGLONG before = ::GetTickCount64();
    EXPECT_EQ(waitProcess(handle, 200, TRUE), static_cast<DWORD>(WAIT_TIMEOUT));
    const ULONGLONG took = ::GetTickCount64() - before;
    EXPECT_EQ(static_cast<DWORD>(processExitCode()), EndedChildExitCode);
    // About a second for the end of input, then ExitProcess inside the child.
    EXPECT_GE(took, 1000u);
    EXPECT_LT(took, 3000u);
}

TEST_F(ChildProcess, ASecondCloseMessageFindsNothingLeftToEnd) {
    ProcessHandle* handle = start({L"--ignore-input"});
    ASSERT_NE(handle, nullptr);
    EXPECT_TRUE(sendCloseToHandle(&handle->head));
    EXPECT_EQ(static_cast<DWORD>(processExitCode()), EndedChildExitCode);
    EXPECT_EQ(waitProcess(handle, 0, FALSE), 0u);
    EXPECT_TRUE(sendCloseToHandle(&handle->head));
    EXPECT_TRUE(closeTypedHandle(handle));
}

TEST_F(ChildProcess, HandleErrorsAreRefused) {
    ProcessHandle* handle = createProcessHandle(nullptr, nullptr);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(waitProcess(handle, INFINITE, FALSE), 0u) << "a child never started is not waited for";
    EXPECT_FALSE(executeProcess(handle)) << "no executable";
    EXPECT_FALSE(setExecutable(handle, L""));
    ASSERT_TRUE(setExecutable(handle, L"C:\\no\\such\\program.exe"));
    EXPECT_FALSE(executeProcess(handle));
    closeTypedHandle(handle);

    handle = start({L"--exit=0"});
    ASSERT_NE(handle, nullptr);
    EXPECT_FALSE(executeProcess(handle)) << "a handle starts once";
    closeTypedHandle(handle);
}

}  // namespace
