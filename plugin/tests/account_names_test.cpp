// The names BrowserRunning compares, and the packaged-process test, on this test's own process
// (under Wine the console session's user is the user running the tests).
#include <gtest/gtest.h>

#include <cwchar>

#include "account_names.h"
#include "packaged_process.h"

namespace brisko::testing {
namespace {

std::wstring CurrentUser() {
    wchar_t name[kAccountNameCapacity];
    DWORD size = kAccountNameCapacity;
    return ::GetUserNameW(name, &size) ? name : L"";
}

TEST(AccountNames, ConsoleUserIsTheSessionUser) {
    const MallocPtr<wchar_t> console = GetConsoleUserName();
    ASSERT_TRUE(console);
    EXPECT_EQ(_wcsicmp(console.get(), CurrentUser().c_str()), 0) << console.get();
}

TEST(AccountNames, ProcessUserIsTheTokenUser) {
    wchar_t name[kAccountNameCapacity];
    wchar_t domain[kAccountNameCapacity];
    ASSERT_EQ(GetProcessUserName(::GetCurrentProcess(), name, kAccountNameCapacity, domain, kAccountNameCapacity),
              static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(_wcsicmp(name, CurrentUser().c_str()), 0) << name;
}

TEST(AccountNames, TooSmallABufferIsAnError) {
    wchar_t name[1];
    wchar_t domain[kAccountNameCapacity];
    EXPECT_EQ(GetProcessUserName(::GetCurrentProcess(), name, 1, domain, kAccountNameCapacity),
              static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST(PackagedProcess, AnOrdinaryProgramIsNotPackaged) { EXPECT_FALSE(IsPackagedProcess(::GetCurrentProcess())); }

}  // namespace
}  // namespace brisko::testing
