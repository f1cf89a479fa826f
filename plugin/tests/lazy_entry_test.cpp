// Entry points of newer Windows versions, looked up on first use. Beside this program lies a
// FWPUCLNT.DLL without FwpmFilterDeleteByKey0, a module that is not loaded until asked for.
#include <gtest/gtest.h>

#include <string>

#include "executable_path.h"
#include "lazy_entry.h"
#include "proc_address.h"

namespace brisko::testing {
namespace {

// A module without the function is not kept.
TEST(LazyEntry, KeepsNoModuleThatLacksTheFunction) {
    const std::wstring partialLibrary = siblingPath(L"fwpuclnt.dll");
    LazyEntry missingFunction(partialLibrary.c_str(), "FwpmFilterDeleteByKey0");
    EXPECT_EQ(missingFunction.get<FARPROC>(), nullptr);
    EXPECT_EQ(::GetModuleHandleW(L"fwpuclnt.dll"), nullptr);

    LazyEntry missingModule(L"no-such-module.dll", "GetTickCount");
    EXPECT_EQ(missingModule.get<FARPROC>(), nullptr);

    LazyEntry present(L"kernel32.dll", "GetTickCount");
    EXPECT_EQ(present.get<FARPROC>(), procAddress<FARPROC>(::GetModuleHandleW(L"kernel32.dll"), "GetTickCount"));
    EXPECT_EQ(present.get<FARPROC>(), present.get<FARPROC>());
}

}  // namespace
}  // namespace brisko::testing
