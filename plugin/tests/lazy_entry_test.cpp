// Entry points bound at run time from the system folder and looked up on first use.
#include <gtest/gtest.h>

#include "lazy_entry.h"
#include "proc_address.h"

namespace brisko::testing {
namespace {

// A module without the function is not kept.
TEST(LazyEntry, KeepsNoModuleThatLacksTheFunction) {
    ASSERT_EQ(::GetModuleHandleW(L"xmllite.dll"), nullptr) << "the test needs a system DLL not loaded yet";
    LazyEntry missingFunction(L"xmllite.dll", "NoSuchFunction");
    EXPECT_EQ(missingFunction.get<FARPROC>(), nullptr);
    EXPECT_EQ(::GetModuleHandleW(L"xmllite.dll"), nullptr);
    EXPECT_EQ(missingFunction.get<FARPROC>(), nullptr) << "remembered as unavailable";

    LazyEntry missingModule(L"no-such-module.dll", "GetTickCount");
    EXPECT_EQ(missingModule.get<FARPROC>(), nullptr);

    LazyEntry present(L"kernel32.dll", "GetTickCount");
    EXPECT_EQ(present.get<FARPROC>(), procAddress<FARPROC>(::GetModuleHandleW(L"kernel32.dll"), "GetTickCount"));
    EXPECT_EQ(present.get<FARPROC>(), present.get<FARPROC>());
}

}  // namespace
}  // namespace brisko::testing
