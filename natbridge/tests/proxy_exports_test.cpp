// The SystemProxyManager exports of natbridge.dll, called as the VM calls them: by their exported
// names, with Java strings (and nulls) from the fake VM. They change the prefix's machine-wide
// browser policies and the fake Mozilla installations.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "browser_policies.h"
#include "executable_path.h"
#include "expected_policies.h"
#include "fake_jvm.h"
#include "fake_mozilla.h"
#include "natbridge_exports.h"
#include "registry_fixture.h"
#include "text.h"
#include "unique_handle.h"

namespace brisko::testing {
namespace {

using ::testing::IsEmpty;

// A Java string argument; none stands for null.
using JavaText = std::optional<std::wstring>;

class ProxyExports : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(library) << "natbridge.dll not loaded: " << ::GetLastError();
        ASSERT_TRUE(setSystemProxy && setFirefoxProxy);
        removePolicies();
    }
    void TearDown() override {
        removePolicies();
        EXPECT_EQ(jvm.localRefsLeftAtDetach(), 0u);
        EXPECT_EQ(jvm.unreleasedStrings(), 0u);
        EXPECT_THAT(jvm.misuse(), IsEmpty());
    }

    jstring java(const JavaText& text) {
        return text ? static_cast<jstring>(jvm.localRef(env, jvm.newString(*text))) : nullptr;
    }
    // Answers the class and message of the exception the call left pending, if any.
    std::optional<std::string> SetSystemProxy(const JavaText& httpHost, jint httpPort, const JavaText& httpsHost,
                                               jint httpsPort) {
        {
            fakejvm::NativeFrame frame(jvm, env);
            setSystemProxy(env, nullptr, java(httpHost), httpPort, java(httpsHost), httpsPort);
        }
        const fakejvm::ObjectPtr pending = jvm.pendingException(::GetCurrentThreadId());
        if (!pending) return std::nullopt;
        env->ExceptionClear();
        return pending->javaClass().name() + ": " + wideToUtf8(pending->text.value_or(L""));
    }
    void SetFirefoxProxy(const JavaText& autoconfig, const JavaText& preferences, const JavaText& name) {
        fakejvm::NativeFrame frame(jvm, env);
        setFirefoxProxy(env, nullptr, java(autoconfig), java(preferences), java(name));
    }

    static void removePolicies() { ApplyBrowserPolicies(nullptr); }
    // The "ProxyServer" policy of Chrome, Chromium, Edge and Brave when all hold the same, else a
    // marker.
    static std::optional<std::wstring> proxyPolicy() {
        const auto& browsers = expectedBrowserPolicies();
        const auto first = readString(HKEY_LOCAL_MACHINE, browsers.front().key, L"ProxyServer", KEY_WOW64_32KEY);
        for (const auto& browser : browsers)
            if (readString(HKEY_LOCAL_MACHINE, browser.key, L"ProxyServer", KEY_WOW64_32KEY) != first)
                return L"(the browsers differ)";
        return first;
    }

    UniqueModule library{::LoadLibraryW(siblingPath(L"natbridge.dll").c_str())};
    SetSystemProxyFunction setSystemProxy = SetSystemProxyExport(library.get());
    SetFirefoxProxyFunction setFirefoxProxy = SetFirefoxProxyExport(library.get());
    fakejvm::Jvm jvm;
    JNIEnv* env = jvm.attachCurrentThread();
};

struct ListCase {
    const char* name;
    JavaText httpHost;
    jint httpPort;
    JavaText httpsHost;
    jint httpsPort;
    std::optional<std::wstring> policy;  // none: the policies are removed
};

// 253 characters in labels of at most 63.
const std::wstring kLongestHost = std::wstring(63, L'h') + L"." + std::wstring(63, L'h') + L"." +
                                  std::wstring(63, L'h') + L"." + std::wstring(61, L'h');

TEST_F(ProxyExports, SetSystemProxyWritesTheListOrRemovesThePolicies) {
    const ListCase cases[] = {
        {"BothHosts", L"127.0.0.1", 3128, L"127.0.0.1", 3129, L"http=127.0.0.1:3128;https=127.0.0.1:3129"},
        {"HttpsOnlyHasNoLeadingSemicolon", std::nullopt, 3128, L"127.0.0.1", 3129, L"https=127.0.0.1:3129"},
        {"PortsAtTheEnds", L"h", 1, L"h", 65535, L"http=h:1;https=h:65535"},
        {"NonAsciiHosts", L"h\u00e9te", 1, L"\U0001d525.example", 2,
         L"http=h\u00e9te:1;https=\U0001d525.example:2"},
        {"IPv6Literal", L"[::1]", 3128, std::nullopt, 0, L"http=[::1]:3128"},
        {"EmptyHostIsLeftOutWithItsPort", L"", 0, L"p", 3129, L"https=p:3129"},
        {"LongestHostsBoth", kLongestHost, 3128, kLongestHost, 3129,
         L"http=" + kLongestHost + L":3128;https=" + kLongestHost + L":3129"},
        {"BothNullRemoves", std::nullopt, 3128, std::nullopt, 3129, std::nullopt},
        {"BothEmptyRemoves", L"", 3128, L"", 3129, std::nullopt},
    };
    for (const auto& c : cases) {
        ApplyBrowserPolicies(L"keep");
        EXPECT_EQ(SetSystemProxy(c.httpHost, c.httpPort, c.httpsHost, c.httpsPort), std::nullopt) << c.name;
        EXPECT_EQ(proxyPolicy(), c.policy) << c.name;
        if (!c.policy) {
            EXPECT_FALSE(readDword(HKEY_LOCAL_MACHINE, kInternetExplorerPolicyKey, L"Proxy", KEY_WOW64_32KEY)) << c.name;
        }
    }
}

// A value that is no host or port writes nothing, not even the valid half, and the core is told.
TEST_F(ProxyExports, SetSystemProxyRefusesWhatIsNoHostOrPort) {
    const struct {
        const char* name;
        JavaText httpHost;
        jint httpPort;
        JavaText httpsHost;
        jint httpsPort;
    } cases[] = {
        {"SeparatorInHost", L"a;https=evil", 1, std::nullopt, 0},
        {"EqualsInHost", L"a=b", 1, std::nullopt, 0},
        {"SpaceInHost", std::nullopt, 0, L"a b", 1},
        {"LineBreakInHost", L"a\r\nb", 1, L"p", 2},
        {"NulInsideAHost", std::wstring(L"a\0b", 3), 1, std::nullopt, 0},
        {"HostOver253Characters", kLongestHost + L"h", 3128, L"p", 3129},
        {"HostOf200000Characters", std::wstring(200000, L'a'), 3128, std::nullopt, 0},
        {"PortZero", L"p", 0, std::nullopt, 0},
        {"PortAbove65535", L"p", 3128, L"p", 70000},
        {"NegativePort", std::nullopt, 0, L"p", -1},
    };
    for (const auto& c : cases) {
        ApplyBrowserPolicies(L"keep");
        EXPECT_EQ(SetSystemProxy(c.httpHost, c.httpPort, c.httpsHost, c.httpsPort),
                  "java/lang/IllegalArgumentException: Invalid argument!")
            << c.name;
        EXPECT_EQ(proxyPolicy(), L"keep") << c.name;
    }
}

// A host the VM cannot read is not taken for a missing one: its error reaches the caller as it
// came, and the policies stay as they were.
TEST_F(ProxyExports, AHostTheVmCannotReadChangesNothingAndReachesTheCaller) {
    for (const size_t failing : {0, 1}) {
        ApplyBrowserPolicies(L"keep");
        jvm.failStringAfter(failing);
        EXPECT_EQ(SetSystemProxy(L"p", 1, L"p", 2), "java/lang/OutOfMemoryError: Java heap space") << failing;
        EXPECT_EQ(proxyPolicy(), L"keep") << failing;
    }
}

class FirefoxExports : public ProxyExports {
protected:
    std::wstring cfgSource() const { return mozilla.cfgSource.wstring(); }
    std::wstring prefsSource() const { return mozilla.prefsSource.wstring(); }
    void expectPlaced(bool cfg, bool prefs) {
        for (const auto& dir : {mozilla.firefox, mozilla.seamonkey, mozilla.firefox32, mozilla.firefox64}) {
            EXPECT_EQ(fileText(dir / L"velmora.cfg"), cfg ? mozilla.cfgText : "") << dir;
            EXPECT_EQ(fileText(dir / L"defaults/pref/velmora.js"), prefs ? mozilla.prefsText : "") << dir;
        }
    }

    FakeMozilla mozilla;
};

TEST_F(FirefoxExports, BothSourcesInstallInEveryInstallationAndANullSourceRemoves) {
    SetFirefoxProxy(cfgSource(), prefsSource(), L"velmora.cfg");
    expectPlaced(true, true);
    SetFirefoxProxy(cfgSource(), std::nullopt, L"velmora.cfg");
    expectPlaced(false, false);
    SetFirefoxProxy(cfgSource(), prefsSource(), L"velmora.cfg");
    SetFirefoxProxy(std::nullopt, std::nullopt, L"velmora.cfg");
    expectPlaced(false, false);
}

TEST_F(FirefoxExports, EmptySourcesCountAsGivenAndPlaceNothing) {
    SetFirefoxProxy(cfgSource(), prefsSource(), L"velmora.cfg");
    SetFirefoxProxy(L"", L"", L"velmora.cfg");
    expectPlaced(true, true);
}

TEST_F(FirefoxExports, ANullAutoconfigNameTouchesOnlyThePreferencesFile) {
    SetFirefoxProxy(cfgSource(), prefsSource(), L"velmora.cfg");
    SetFirefoxProxy(std::nullopt, std::nullopt, std::nullopt);
    expectPlaced(true, false);
}

// A string the VM cannot read is not taken for a missing one: the export leaves at once with the
// VM's error pending for the caller, makes no JNI call after it, and changes no installation.
TEST_F(FirefoxExports, AStringTheVmCannotReadChangesNothingAndReachesTheCaller) {
    struct Case {
        const char* name;
        bool install;    // both sources given, else removal
        size_t failing;  // read in the order name, autoconfig source, preferences source
    };
    const Case cases[] = {
        {"InstallName", true, 0},
        {"InstallAutoconfigSource", true, 1},
        {"InstallPreferencesSource", true, 2},
        {"RemoveName", false, 0},
    };
    for (const Case& c : cases) {
        // Removal starts from installed files, installation from none.
        if (c.install)
            SetFirefoxProxy(std::nullopt, std::nullopt, L"velmora.cfg");
        else
            SetFirefoxProxy(cfgSource(), prefsSource(), L"velmora.cfg");
        jvm.failStringAfter(c.failing);
        if (c.install)
            SetFirefoxProxy(cfgSource(), prefsSource(), L"velmora.cfg");
        else
            SetFirefoxProxy(std::nullopt, std::nullopt, L"velmora.cfg");
        const fakejvm::ObjectPtr pending = jvm.pendingException(::GetCurrentThreadId());
        ASSERT_NE(pending, nullptr) << c.name;
        EXPECT_EQ(pending->javaClass().name(), "java/lang/OutOfMemoryError") << c.name;
        env->ExceptionClear();
        SCOPED_TRACE(c.name);
        expectPlaced(!c.install, !c.install);
    }
}

}  // namespace
}  // namespace brisko::testing
