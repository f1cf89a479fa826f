// A FWPUCLNT.DLL without FwpmFilterDeleteByKey0: the plug-in treats the filtering platform as
// unusable, lets the library go again, and both firewall exports answer the load's error rather
// than a success that did nothing. The library lies beside this program, where the plug-in
// never looks; this program loads it first, and the plug-in's load by name then finds it loaded.
#include <gtest/gtest.h>

#include "executable_path.h"
#include "proc_address.h"
#include "support_library.h"
#include "unique_handle.h"

namespace brisko::testing {
namespace {

class MissingEntryPoint : public ::testing::Test {
protected:
    UniqueModule partial{::LoadLibraryW(siblingPath(L"fwpuclnt.dll").c_str())};
};

TEST_F(MissingEntryPoint, TheLibraryLacksOnlyTheFilterDeletion) {
    ASSERT_TRUE(partial);
    EXPECT_NE(procAddress<FARPROC>(partial.get(), "FwpmEngineOpen0"), nullptr);
    EXPECT_EQ(procAddress<FARPROC>(partial.get(), "FwpmFilterDeleteByKey0"), nullptr);
}

TEST_F(MissingEntryPoint, FirewallExportsAnswerTheLoadErrorAndKeepNoLibrary) {
    ASSERT_TRUE(partial);
    const SupportLibrary support;
    ASSERT_TRUE(support.loaded());
    EXPECT_EQ(support.installProvider(3128, 3129), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_EQ(support.uninstallProvider(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    // Once this program lets its own reference go, nothing holds the library.
    partial.reset();
    EXPECT_EQ(::GetModuleHandleW(L"fwpuclnt.dll"), nullptr);
}

}  // namespace
}  // namespace brisko::testing
