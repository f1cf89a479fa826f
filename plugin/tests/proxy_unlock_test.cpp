// UnlockProxies through the loaded plug-in removes what the settings library's own operations
// wrote: the machine-wide policies, every loaded user's proxy, the Mozilla files and the Opera
// file, read back from the prefix's registry and file system.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "blob_builder.h"
#include "browser_policies.h"
#include "expected_policies.h"
#include "fake_mozilla.h"
#include "mozilla_autoconfig.h"
#include "registry.h"
#include "registry_fixture.h"
#include "support_library.h"
#include "system_folders.h"
#include "system_proxy.h"

namespace brisko::testing {
namespace {

constexpr wchar_t kProxy[] = L"http=127.0.0.1:3128;https=127.0.0.1:3129";
constexpr char kNarrowProxy[] = "http=127.0.0.1:3128;https=127.0.0.1:3129";
constexpr wchar_t kLanConnection[] = L"DefaultConnectionSettings";
constexpr wchar_t kCfgName[] = L"velmora.cfg";

// Where Opera reads its fixed preferences, as the files lie on disk (read and written with
// file-system redirection off): the system folder, and on a 64-bit machine the 32-bit one too.
std::vector<fs::path> OperaFiles() {
    std::vector<fs::path> files{nativeSystemFolder() / L"operaprefs_fixed.ini"};
    if (isWow64()) files.push_back(systemX86Folder() / L"operaprefs_fixed.ini");
    return files;
}

bool onDisk(const fs::path& file) {
    return withoutRedirection([&] { return fs::exists(file); });
}

class UnlockProxiesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(support.loaded());
        ASSERT_TRUE(EnableRestorePrivilege());
        ApplyBrowserPolicies(kProxy);
        setBinary(HKEY_CURRENT_USER, kConnectionsKey, kLanConnection, makeBlob({.flags = 1}));
        ASSERT_EQ(ApplyUserProxy(HKEY_CURRENT_USER, {kNarrowProxy, kProxy}), ERROR_SUCCESS);
        ForEachMozillaInstallDir([&](const fs::path& directory) {
            if (mozilla.owns(directory)) InstallFirefoxAutoconfig(directory, mozilla.cfgSource, mozilla.prefsSource, kCfgName);
            return true;
        });
        for (const fs::path& file : OperaFiles())
            withoutRedirection([&] { return writeFile(file, "[User Prefs]\n"); });
    }

    void TearDown() override {
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kConnectionsKey, kLanConnection);
        for (const fs::path& file : OperaFiles()) {
            withoutRedirection([&] {
                std::error_code ignored;
                return fs::remove(file, ignored);
            });
        }
    }

    // Everything the product forced is gone, and every user is left without a proxy.
    void ExpectUnlocked() {
        EXPECT_FALSE(readRaw(HKEY_LOCAL_MACHINE, kInternetExplorerPolicyKey, L"Proxy", KEY_WOW64_32KEY));
        for (const auto& browser : expectedBrowserPolicies())
            for (const auto& name : policyNames(browser))
                EXPECT_FALSE(readRaw(HKEY_LOCAL_MACHINE, browser.key, name.c_str(), KEY_WOW64_32KEY))
                    << browser.key << " " << name;

        EXPECT_EQ(readDword(HKEY_CURRENT_USER, kInternetSettingsKey, L"ProxyEnable"), 0u);
        EXPECT_FALSE(readRaw(HKEY_CURRENT_USER, kInternetSettingsKey, L"ProxyServer"));
        EXPECT_FALSE(readRaw(HKEY_CURRENT_USER, kInternetSettingsKey, L"ProxyOverride"));
        const auto lan = readBinary(HKEY_CURRENT_USER, kConnectionsKey, kLanConnection);
        ASSERT_TRUE(lan);
        EXPECT_EQ(*lan, makeBlob({.counter = counterOf(*lan), .flags = 9}));
        // Every hive under HKEY_USERS that opens for writing, not only the current user's.
        EXPECT_EQ(readDword(HKEY_USERS, std::wstring(L".DEFAULT\\") + kInternetSettingsKey, L"ProxyEnable"), 0u);

        for (const fs::path& directory : {mozilla.firefox, mozilla.seamonkey, mozilla.firefox32, mozilla.firefox64}) {
            EXPECT_FALSE(fs::exists(directory / kCfgName)) << directory;
            EXPECT_FALSE(fs::exists(directory / kDefaultPreferencesFile)) << directory;
        }
        for (const fs::path& file : OperaFiles()) EXPECT_FALSE(onDisk(file)) << file;
    }

    SupportLibrary support;
    FakeMozilla mozilla;
};

TEST_F(UnlockProxiesTest, RemovesEverythingTheProductSet) {
    ASSERT_TRUE(fs::exists(mozilla.firefox / kCfgName));
    ASSERT_EQ(readDword(HKEY_CURRENT_USER, kInternetSettingsKey, L"ProxyEnable"), 1u);
    for (const auto& browser : expectedBrowserPolicies())
        ASSERT_EQ(readString(HKEY_LOCAL_MACHINE, browser.key, L"ProxyServer", KEY_WOW64_32KEY), kProxy) << browser.key;
    for (const fs::path& file : OperaFiles()) ASSERT_TRUE(onDisk(file)) << file;

    support.unlockProxies();
    ExpectUnlocked();
}

TEST_F(UnlockProxiesTest, RunningItAgainLeavesTheSameEndState) {
    support.unlockProxies();
    const auto lan = readBinary(HKEY_CURRENT_USER, kConnectionsKey, kLanConnection);
    support.unlockProxies();
    ExpectUnlocked();
    // Clearing rewrites the blob again; only its change counter moves.
    const auto again = readBinary(HKEY_CURRENT_USER, kConnectionsKey, kLanConnection);
    ASSERT_TRUE(lan && again);
    EXPECT_GT(counterOf(*again), counterOf(*lan));
}

}  // namespace
}  // namespace brisko::testing
