// Beside this program lies a FWPUCLNT.DLL without FwpmFilterDeleteByKey0: the plug-in treats
// the filtering platform as absent, frees the library again and both firewall exports succeed
// without doing anything.
#include <gtest/gtest.h>

#include "executable_path.h"
#include "lazy_entry.h"
#include "proc_address.h"
#include "support_library.h"
#include "unique_handle.h"

namespace brisko::testing {
namespace {

TEST(MissingEntryPoint, FirewallExportsSucceedWithoutTheLibrary) {
    const SupportLibrary support;
    ASSERT_TRUE(support.loaded());
    EXPECT_EQ(::GetModuleHandleW(L"fwpuclnt.dll"), nullptr);
    EXPECT_EQ(support.installProvider(3128, 3129), 0u);
    EXPECT_EQ(support.uninstallProvider(), 0u);
    EXPECT_EQ(::GetModuleHandleW(L"fwpuclnt.dll"), nullptr);
}

TEST(MissingEntryPoint, TheLibraryBesideLacksOnlyTheFilterDeletion) {
    const UniqueModule library(::LoadLibraryW(siblingPath(L"fwpuclnt.dll").c_str()));
    ASSERT_TRUE(library);
    EXPECT_NE(procAddress<FARPROC>(library.get(), "FwpmEngineOpen0"), nullptr);
    EXPECT_EQ(procAddress<FARPROC>(library.get(), "FwpmFilterDeleteByKey0"), nullptr);
}

// The plug-in's entry points of newer Windows versions are looked up the same way: a module
// without the function is not kept.
TEST(LazyEntry, KeepsNoModuleThatLacksTheFunction) {
    LazyEntry missingFunction(siblingPath(L"fwpuclnt.dll").c_str(), "FwpmFilterDeleteByKey0");
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
