// Beside this program lies a FWPUCLNT.DLL without FwpmFilterDeleteByKey0: the plug-in treats
// the filtering platform as absent, frees the library again and both firewall exports succeed
// without doing anything.
#include <gtest/gtest.h>

#include "executable_path.h"
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

}  // namespace
}  // namespace brisko::testing
