// The runner hosting the test JVM (jvm.dll) with the test classes (jvm_test_classes.dll, class
// test.Main: "wait" until its stop method runs, "throw"): the System.exit stop, a start method
// that throws, a stop method that never returns, and the thread dump on the signal event.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <aclapi.h>

#include <string>

#include "lifecycle_fixture.h"
#include "text.h"
#include "unique_memory.h"

namespace {

using namespace runner_test;
using ::testing::HasSubstr;
using ::testing::Not;

class JvmService : public LifecycleTest {
protected:
    static std::wstring java(const std::wstring& startParams) {
        return L"--StartMode=jvm --Jvm=" + brisko::siblingPath(L"jvm.dll") +
               L" --Classpath=" + brisko::siblingPath(L"jvm_test_classes.dll") +
               L" --StartClass=test.Main --StartParams=" + startParams;
    }
    static constexpr wchar_t StopThroughTheClass[] = L" --StopMode=jvm --StopClass=test.Main --StopMethod=stop";
};

TEST_F(JvmService, SystemExitAsTheStopEndsTheProcessAndItsHooksReportStopped) {
    install(java(L"wait") + L" --StopMode=jvm --StopClass=java.lang.System");
    ASSERT_EQ(command(L"//ES//").exitCode, 0u);
    const ProcessResult stopped = command(L"//SS//");
    EXPECT_EQ(stopped.exitCode, 0u) << stopped.error;
    const SERVICE_STATUS end = status();
    EXPECT_EQ(end.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(end.dwWin32ExitCode, 0u);
    const std::string text = log();
    for (const char* line : {"reportServiceStatusE: 3, 0, 20000, 0", "Forcing java jni System.exit worker to finish...",
                             "Exit hook with exit code 0", "Stop exit hook called ...", "Start exit hook called ...",
                             "VM exit code: 0", "reportServiceStatusE: 1, 0, 0, 0"})
        EXPECT_THAT(text, HasSubstr(line));
    EXPECT_THAT(text, Not(HasSubstr("Run service finished."))) << "the JVM ends the process";
}

TEST_F(JvmService, StartMethodThatThrowsEndsTheRunWithCodeOne) {
    install(java(L"throw"));
    const ProcessResult result = command(L"run");
    EXPECT_EQ(result.exitCode, 3u);
    const std::string text = log();
    for (const char* line : {"Exception has been thrown", "Java Worker thread finished test/Main:main with status=6",
                             "reportServiceStatusE: 1, 1066, 0, 1", "Debug service finished with exit code 1"})
        EXPECT_THAT(text, HasSubstr(line));
}

// The stop call gets the stop time-out, then the start worker does; the machine, held by the
// threads that had to be ended, is given up on after a minute, and the service still stops.
TEST_F(JvmService, StopMethodThatNeverReturnsDoesNotHangTheService) {
    install(java(L"wait") + L" --StopMode=jvm --StopClass=test.Main --StopParams=wait --StopTimeout=3");
    ASSERT_EQ(command(L"//ES//").exitCode, 0u);
    const ProcessResult stopped = command(L"//SS//");
    EXPECT_EQ(stopped.exitCode, 0u) << stopped.error;
    EXPECT_EQ(status().dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    const std::string text = log();
    for (const char* line : {"Stop worker did not finish in 3000 ms", "Worker was killed in",
                             "Service stop thread completed.", "reportServiceStatusE: 1, "})
        EXPECT_THAT(text, HasSubstr(line));
}

// Only the system and the administrators may touch the event: its DACL, read back, holds their
// two entries and nobody else's (Wine enforces it; a test running as an administrator still
// signals it).
void expectSystemAndAdministratorsOnly(HANDLE event) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(::GetSecurityInfo(event, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                                &descriptor),
              static_cast<DWORD>(ERROR_SUCCESS));
    const brisko::UniqueLocalMemory<PSECURITY_DESCRIPTOR> owner(descriptor);
    ASSERT_NE(dacl, nullptr) << "a null DACL admits everyone";
    ASSERT_EQ(dacl->AceCount, 2);
    for (const WELL_KNOWN_SID_TYPE type : {WinLocalSystemSid, WinBuiltinAdministratorsSid}) {
        BYTE sid[SECURITY_MAX_SID_SIZE];
        DWORD size = sizeof(sid);
        ASSERT_TRUE(::CreateWellKnownSid(type, nullptr, sid, &size));
        bool found = false;
        for (DWORD i = 0; i < dacl->AceCount; ++i) {
            ACCESS_ALLOWED_ACE* ace = nullptr;
            if (::GetAce(dacl, i, reinterpret_cast<void**>(&ace)) && ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE &&
                ::EqualSid(&ace->SidStart, sid))
                found = true;
        }
        EXPECT_TRUE(found) << "well-known SID " << type;
    }
}

TEST_F(JvmService, SignalEventPrintsEveryThreadIntoTheLogAtMostOnceInTenSeconds) {
    install(java(L"wait") + StopThroughTheClass + L" --LogJniMessages=1");
    ASSERT_EQ(command(L"//ES//").exitCode, 0u);
    const brisko::UniqueHandle signal(
        ::OpenEventW(EVENT_MODIFY_STATE | SYNCHRONIZE | READ_CONTROL, FALSE, L"Global\\HARBEETESTLIFECYCLESIGNAL"));
    ASSERT_TRUE(signal);
    expectSystemAndAdministratorsOnly(signal.get());
    ASSERT_TRUE(::SetEvent(signal.get()));
    bool dumped = false;
    for (int i = 0; i < 100 && !(dumped = log().find("Full thread dump") != std::string::npos); ++i) ::Sleep(100);
    EXPECT_TRUE(dumped) << log();
    // The runner resets the event once it has taken the signal: only then is a second one new.
    bool taken = false;
    for (int i = 0; i < 100 && !(taken = ::WaitForSingleObject(signal.get(), 0) == WAIT_TIMEOUT); ++i) ::Sleep(100);
    ASSERT_TRUE(taken);
    ASSERT_TRUE(::SetEvent(signal.get()));
    bool skipped = false;
    for (int i = 0; i < 100 && !(skipped = log().find("Thread dump skipped") != std::string::npos); ++i) ::Sleep(100);
    EXPECT_TRUE(skipped) << log();
    const std::string text = log();
    EXPECT_EQ(text.find("Full thread dump"), text.rfind("Full thread dump")) << "one dump";
    EXPECT_EQ(command(L"//SS//").exitCode, 0u);
    EXPECT_EQ(status().dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_THAT(log(), HasSubstr("Java Worker thread finished test/Main:main with status=0"));
}

}  // namespace
