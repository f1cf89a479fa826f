// Child-process handles with real children (child_worker.exe): output byte for byte, the exit
// code, and the three steps that end a child that does not go.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <aclapi.h>

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

// A process the child started holds the output pipes open for ever: the wait ends all the same,
// and closing the record ends that process too.
TEST_F(ChildProcess, WhatTheChildLeftRunningNeitherHoldsTheWaitNorOutlivesTheRecord) {
    const ScratchFolder folder(L"harbee-grandchild");
    const std::wstring record = folder.file(L"grandchild.txt");
    ProcessHandle* handle = start({L"--spawn=" + record, L"--exit=4"});
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(waitProcess(handle, 60000, FALSE), 0u);
    EXPECT_EQ(processExitCode(), 4);
    std::vector<std::string> seen;
    for (int i = 0; i < 300 && (seen = lines(readFile(record))).size() < 5; ++i) ::Sleep(100);
    ASSERT_EQ(seen.size(), 5u);
    const brisko::UniqueHandle grandchild(::OpenProcess(SYNCHRONIZE, FALSE, std::stoul(seen[4])));
    ASSERT_TRUE(grandchild);
    EXPECT_EQ(::WaitForSingleObject(grandchild.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_TRUE(closeTypedHandle(handle));
    EXPECT_EQ(::WaitForSingleObject(grandchild.get(), 10000), WAIT_OBJECT_0) << "the job ends what the child left";
}

// The user's token is used for the child only: the calling thread is not left as that user.
// Wine's logon gives no token that can be duplicated, so the runner's own primary token stands in
// for the logged-on user's.
TEST_F(ChildProcess, AChildOfAnotherUserLeavesTheCallerItself) {
    ProcessHandle* handle = createProcessHandle(nullptr, nullptr);
    ASSERT_NE(handle, nullptr);
    brisko::UniqueHandle own;
    ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_DUPLICATE, own.put()));
    ASSERT_TRUE(::DuplicateTokenEx(own.get(), TOKEN_ASSIGN_PRIMARY | TOKEN_DUPLICATE | TOKEN_QUERY, nullptr,
                                   SecurityImpersonation, TokenPrimary, handle->objects.userToken.put()));
    ASSERT_TRUE(setExecutable(handle, brisko::siblingPath(L"child_worker.exe").c_str()));
    ASSERT_TRUE(setArguments(handle, {L"--exit=6"}));
    ASSERT_TRUE(executeProcess(handle)) << ::GetLastError();
    HANDLE token = nullptr;
    EXPECT_FALSE(::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, &token));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_NO_TOKEN));
    if (token) ::CloseHandle(token);
    EXPECT_EQ(waitProcess(handle, 30000, FALSE), 0u);
    EXPECT_EQ(processExitCode(), 6);
    closeTypedHandle(handle);
}

// The child's process object keeps the default descriptor of the runner's account: no null DACL
// that would let any user open the worker.
TEST_F(ChildProcess, TheChildProcessHasADacl) {
    ProcessHandle* handle = start({L"--until-input-ends"});
    ASSERT_NE(handle, nullptr);
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(::GetSecurityInfo(handle->objects.process.get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                nullptr, &dacl, nullptr, &descriptor),
              static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_NE(dacl, nullptr);
    ::LocalFree(descriptor);
    closeTypedHandle(handle);
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
