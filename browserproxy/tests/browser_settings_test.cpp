// Machine-wide browser policies, Mozilla installations found through the registry and the Opera
// file location, against the registry and file system of the Wine prefix.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "browser_policies.h"
#include "expected_policies.h"
#include "mozilla_autoconfig.h"
#include "opera_prefs.h"
#include "fake_mozilla.h"
#include "registry_fixture.h"
#include "system_folders.h"

namespace brisko::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

class BrowserPoliciesTest : public ::testing::Test {
protected:
    BrowserPoliciesTest() { clean(); }
    ~BrowserPoliciesTest() override { clean(); }

    static void clean() {
        for (const wchar_t* key :
             {L"Google", L"Chromium", L"Microsoft\\Edge", L"BraveSoftware", L"Microsoft\\Internet Explorer"})
            deleteTreeInBothViews(HKEY_LOCAL_MACHINE, L"Software\\Policies", key);
    }
    static std::optional<std::wstring> policy(const wchar_t* key, const wchar_t* name, REGSAM view = KEY_WOW64_32KEY) {
        return readString(HKEY_LOCAL_MACHINE, key, name, view);
    }
    static std::optional<DWORD> dwordPolicy(const wchar_t* key, const wchar_t* name, REGSAM view = KEY_WOW64_32KEY) {
        return readDword(HKEY_LOCAL_MACHINE, key, name, view);
    }
};

// A 64-bit browser reads the 64-bit view, a 32-bit one the 32-bit view. The policy keys are shared
// between the two (on Windows 7 and later, and under Wine), so the set written through the
// 32-bit view is read back in each.
TEST_F(BrowserPoliciesTest, SettingWritesTheWholeSetInTheViewOfEveryBrowser) {
    ApplyBrowserPolicies(L"http=127.0.0.1:3128;https=127.0.0.1:3129");
    for (const REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        EXPECT_EQ(dwordPolicy(kInternetExplorerPolicyKey, L"Proxy", view), 1u);
        for (const auto& browser : expectedBrowserPolicies()) {
            EXPECT_EQ(policy(browser.key, L"ProxyServer", view), L"http=127.0.0.1:3128;https=127.0.0.1:3129")
                << browser.key;
            EXPECT_EQ(policy(browser.key, L"ProxyBypassList", view), L"<local>") << browser.key;
            EXPECT_EQ(policy(browser.key, L"ProxyMode", view), L"fixed_servers") << browser.key;
            for (const auto& value : browser.dwords)
                EXPECT_EQ(dwordPolicy(browser.key, value.name, view), value.data) << browser.key << " " << value.name;
        }
    }

    ApplyBrowserPolicies(L"http=10.0.0.1:8080");
    for (const auto& browser : expectedBrowserPolicies())
        EXPECT_EQ(policy(browser.key, L"ProxyServer"), L"http=10.0.0.1:8080") << browser.key;
}

// A parent's own policies in the same keys: the values the set writes are replaced and then
// removed, every other one stays, and so do the keys.
TEST_F(BrowserPoliciesTest, RemovingDeletesExactlyTheValuesWrittenAndKeepsTheKeys) {
    for (const auto& browser : expectedBrowserPolicies()) {
        setString(HKEY_LOCAL_MACHINE, browser.key, L"ProxyBypassList", L"*.school.example", KEY_WOW64_32KEY);
        setString(HKEY_LOCAL_MACHINE, browser.key, L"HomepageLocation", L"https://example.org", KEY_WOW64_32KEY);
    }
    setString(HKEY_LOCAL_MACHINE, kInternetExplorerPolicyKey, L"HomePage", L"1", KEY_WOW64_32KEY);
    ApplyBrowserPolicies(L"http=127.0.0.1:3128");
    for (const auto& browser : expectedBrowserPolicies())
        EXPECT_EQ(policy(browser.key, L"ProxyBypassList"), L"<local>") << browser.key;

    ApplyBrowserPolicies(nullptr);
    EXPECT_FALSE(dwordPolicy(kInternetExplorerPolicyKey, L"Proxy"));
    EXPECT_EQ(policy(kInternetExplorerPolicyKey, L"HomePage"), L"1");
    for (const auto& browser : expectedBrowserPolicies()) {
        for (const auto& name : policyNames(browser))
            EXPECT_FALSE(readRaw(HKEY_LOCAL_MACHINE, browser.key, name.c_str(), KEY_WOW64_32KEY))
                << browser.key << " " << name;
        EXPECT_EQ(policy(browser.key, L"HomepageLocation"), L"https://example.org") << browser.key;
    }

    ApplyBrowserPolicies(nullptr);  // nothing left to remove: no effect, no failure
    for (const auto& browser : expectedBrowserPolicies()) {
        EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, browser.key, KEY_WOW64_32KEY)) << browser.key;
        EXPECT_EQ(policy(browser.key, L"HomepageLocation"), L"https://example.org") << browser.key;
    }
}

TEST_F(BrowserPoliciesTest, RemovingWhereNothingWasWrittenCreatesNothing) {
    ApplyBrowserPolicies(nullptr);
    for (const auto& browser : expectedBrowserPolicies())
        EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, browser.key, KEY_WOW64_32KEY)) << browser.key;
}

class MozillaTest : public ::testing::Test {
protected:
    // The directories offered that lie in the fake's folder (Wine's own may add others).
    std::vector<fs::path> search(const InstallDirCallback& also = {}) {
        std::vector<fs::path> found;
        ForEachMozillaInstallDir([&](const fs::path& dir) {
            if (mozilla.owns(dir)) found.push_back(dir);
            return also ? also(dir) : true;
        });
        return found;
    }
    bool install(const fs::path& dir) {
        return InstallFirefoxAutoconfig(dir, mozilla.cfgSource, mozilla.prefsSource, L"velmora.cfg");
    }

    FakeMozilla mozilla;
    const fs::path& firefox = mozilla.firefox;
    const fs::path& seamonkey = mozilla.seamonkey;
    const fs::path& firefox32 = mozilla.firefox32;
    const fs::path& firefox64 = mozilla.firefox64;
    const std::string& cfgText = mozilla.cfgText;
    const std::string& prefsText = mozilla.prefsText;
};

TEST_F(MozillaTest, FindsEachInstallationOnceInTheOrderOfItsSources) {
    EXPECT_THAT(search(), ElementsAre(FakeMozilla::reported(firefox), FakeMozilla::reported(seamonkey),
                                      FakeMozilla::reported(mozilla.missing), FakeMozilla::reported(firefox32),
                                      FakeMozilla::reported(firefox64)));
}

TEST_F(MozillaTest, AFalseAnswerDuringTheRegisteredCommandsEndsTheSearch) {
    int calls = 0;
    ForEachMozillaInstallDir([&](const fs::path&) { return ++calls, false; });
    EXPECT_EQ(calls, 1);
}

TEST_F(MozillaTest, InstallPlacesBothFilesByteForByteAndRemoveTakesThemAway) {
    writeFile(firefox / L"velmora.cfg", "stale");
    EXPECT_EQ(search([&](const fs::path& dir) { return install(dir); }).size(), 5u)
        << "the missing folder does not stop the others";
    for (const auto& dir : {firefox, seamonkey, firefox32, firefox64}) {
        EXPECT_EQ(fileText(dir / L"velmora.cfg"), cfgText) << dir;
        EXPECT_EQ(fileText(dir / L"defaults/pref/velmora.js"), prefsText) << dir;
    }
    EXPECT_FALSE(fs::exists(mozilla.missing));
    EXPECT_FALSE(fs::exists(mozilla.thunderbird / L"velmora.cfg"));

    search([](const fs::path& dir) { return RemoveFirefoxAutoconfig(dir, L"velmora.cfg"); });
    for (const auto& dir : {firefox, seamonkey, firefox32, firefox64}) {
        EXPECT_FALSE(fs::exists(dir / L"velmora.cfg")) << dir;
        EXPECT_FALSE(fs::exists(dir / L"defaults/pref/velmora.js")) << dir;
        EXPECT_TRUE(fs::exists(dir / L"defaults/pref")) << dir;
    }
    EXPECT_TRUE(RemoveFirefoxAutoconfig(firefox, L"velmora.cfg")) << "removing what is not there changes nothing";
}

TEST_F(MozillaTest, FailuresInOneInstallationDoNotStopTheOthers) {
    fs::remove_all(seamonkey / L"defaults");  // no preferences folder: only the autoconfig file lands
    writeFile(firefox / L"velmora.cfg", "in use");
    {
        // Held open without sharing, as a running browser might: the copy over it fails.
        const UniqueFile inUse(::CreateFileW((firefox / L"velmora.cfg").c_str(), GENERIC_READ, 0, nullptr,
                                             OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(inUse);
        search([&](const fs::path& dir) { return install(dir); });
    }
    EXPECT_EQ(fileText(firefox / L"velmora.cfg"), "in use");
    EXPECT_EQ(fileText(firefox / L"defaults/pref/velmora.js"), prefsText);
    EXPECT_EQ(fileText(seamonkey / L"velmora.cfg"), cfgText);
    EXPECT_FALSE(fs::exists(seamonkey / L"defaults"));
    EXPECT_EQ(fileText(firefox64 / L"velmora.cfg"), cfgText);
}

TEST_F(MozillaTest, MissingSourcesAreSkipped) {
    EXPECT_TRUE(InstallFirefoxAutoconfig(firefox, mozilla.base / L"none.cfg", mozilla.prefsSource, L"velmora.cfg"));
    EXPECT_FALSE(fs::exists(firefox / L"velmora.cfg"));
    EXPECT_EQ(fileText(firefox / L"defaults/pref/velmora.js"), prefsText);
}

TEST_F(MozillaTest, AutoconfigNamesOutsideTheDirectoryAreNeverTouched) {
    const fs::path outside = mozilla.base / L"outside.cfg";
    writeFile(outside, "keep");
    for (const fs::path& name : {fs::path(L"..\\outside.cfg"), outside, fs::path(L""), fs::path(L".."),
                                 fs::path(L"sub\\x.cfg")}) {
        EXPECT_TRUE(InstallFirefoxAutoconfig(firefox / L"", mozilla.cfgSource, mozilla.prefsSource, name));
        EXPECT_TRUE(RemoveFirefoxAutoconfig(firefox / L"", name));
        EXPECT_EQ(fileText(outside), "keep") << name;
        EXPECT_TRUE(fs::exists(firefox)) << name;
    }
}

// On NTFS "name:stream" is a stream of the file "name": never written, never deleted.
TEST_F(MozillaTest, AutoconfigNamesWithAStreamOrDriveAreNeverTouched) {
    writeFile(firefox / L"velmora.cfg", "keep");
    for (const fs::path& name : {fs::path(L"velmora.cfg:ads"), fs::path(L"velmora.cfg::$DATA"), fs::path(L"c:x.cfg"),
                                 fs::path(L"x.cfg:")}) {
        EXPECT_TRUE(InstallFirefoxAutoconfig(firefox, mozilla.cfgSource, mozilla.prefsSource, name));
        EXPECT_TRUE(RemoveFirefoxAutoconfig(firefox, name));
        EXPECT_EQ(fileText(firefox / L"velmora.cfg"), "keep") << name;
        std::vector<fs::path> entries;
        for (const auto& entry : fs::directory_iterator(firefox)) entries.push_back(entry.path().filename());
        EXPECT_THAT(entries, ::testing::UnorderedElementsAre(L"velmora.cfg", L"defaults")) << name;
    }
}

// What is written through each offered path lands in its own system folder, as the files lie on
// disk: the 64-bit one's too for a 32-bit process under WOW64.
TEST(OperaPrefs, OffersTheFileInEverySystemFolderAsItLiesOnDisk) {
    std::vector<fs::path> offered;
    ForEachOperaFixedPrefsFile([&](const fs::path& file) { offered.push_back(file); });
    std::vector<fs::path> onDisk{nativeSystemFolder() / L"operaprefs_fixed.ini"};
    if (isWow64()) onDisk.push_back(systemX86Folder() / L"operaprefs_fixed.ini");
    ASSERT_EQ(offered.size(), onDisk.size());

    for (size_t i = 0; i < offered.size(); ++i) writeFile(offered[i], "offer " + std::to_string(i));
    for (size_t i = 0; i < onDisk.size(); ++i) {
        EXPECT_EQ(withoutRedirection([&] { return fileText(onDisk[i]); }), "offer " + std::to_string(i)) << onDisk[i];
        withoutRedirection([&] {
            std::error_code ignored;
            return fs::remove(onDisk[i], ignored);
        });
    }
}

}  // namespace
}  // namespace brisko::testing
