// The user proxy guard in the test's own process, against the prefix's HKEY_CURRENT_USER: what
// it writes, when it writes, and when its watch wakes the main loop.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "proxy/proxy_list.h"
#include "proxy/user_proxy_guard.h"
#include "registry_fixture.h"
#include "system_proxy.h"

namespace brisko {
namespace {

using testing::readDword;
using testing::readString;

struct SpecCase {
    const char* name;
    std::string httpHost;
    int httpPort;
    std::string httpsHost;
    int httpsPort;
    std::string spec;
};

TEST(ProxyList, JoinsThePartsThatHaveAHost) {
    const SpecCase cases[] = {
        {"Both", "127.0.0.1", 3128, "127.0.0.1", 3129, "http=127.0.0.1:3128;https=127.0.0.1:3129"},
        {"HttpOnly", "proxy", 8080, "", 443, "http=proxy:8080"},
        {"HttpsOnlyHasNoLeadingSemicolon", "", 80, "proxy", 3129, "https=proxy:3129"},
        {"ZeroPortsAreWritten", "h", 0, "h", 0, "http=h:0;https=h:0"},
        {"NegativeAndExtremePorts", "h", INT_MIN, "h", INT_MAX, "http=h:-2147483648;https=h:2147483647"},
        {"NonAsciiHostKeptAsUtf8", "h\xC3\xA9", 1, "", 0, "http=h\xC3\xA9:1"},
        {"NoHosts", "", 3128, "", 3129, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(BuildProxyList(c.httpHost, c.httpPort, c.httpsHost, c.httpsPort), c.spec) << c.name;
}

const std::wstring kSettings = kInternetSettingsKey;

bool signalled(HANDLE event, DWORD waitMs = 0) { return event && ::WaitForSingleObject(event, waitMs) == WAIT_OBJECT_0; }

class UserProxyGuardTest : public ::testing::Test {
protected:
    UserProxyGuardTest() { SetUserProxy(nullptr); }
    ~UserProxyGuardTest() override { SetUserProxy(nullptr); }

    static std::optional<std::wstring> proxyServer() { return readString(HKEY_CURRENT_USER, kSettings, L"ProxyServer"); }
    static std::optional<DWORD> proxyEnable() { return readDword(HKEY_CURRENT_USER, kSettings, L"ProxyEnable"); }
    // Another program turning the proxy off in its Internet options.
    static void userTurnsProxyOff() {
        testing::setRaw(HKEY_CURRENT_USER, kSettings, L"ProxyEnable", REG_DWORD, "\0\0\0\0", 4);
    }
    // What the main loop does when the watch event fires.
    void mainLoopReacts() {
        guard.applyProxy(guard.proxySpec());
        guard.rearmProxyWatch();
    }

    UserProxyGuard guard;
};

TEST_F(UserProxyGuardTest, ConfigurationWhileEnabledIsForcedAndWatched) {
    guard.setProxy("127.0.0.1", 3128, "127.0.0.1", 3129, true);
    EXPECT_EQ(guard.proxySpec(), "http=127.0.0.1:3128;https=127.0.0.1:3129");
    EXPECT_EQ(proxyServer(), L"http=127.0.0.1:3128;https=127.0.0.1:3129");
    EXPECT_EQ(proxyEnable(), 1u);
    ASSERT_TRUE(guard.isWatching());
    EXPECT_FALSE(signalled(guard.watchEvent(), 200)) << "the guard's own write wakes nothing";

    guard.stopProxyWatch();
    EXPECT_FALSE(guard.isWatching());
    EXPECT_EQ(guard.watchEvent(), nullptr);
}

TEST_F(UserProxyGuardTest, ConfigurationWhileDisabledIsOnlyKept) {
    guard.setProxy("127.0.0.1", 3128, "", 0, false);
    EXPECT_EQ(guard.proxySpec(), "http=127.0.0.1:3128");
    EXPECT_FALSE(proxyServer());
    EXPECT_EQ(proxyEnable(), 0u);
    EXPECT_FALSE(guard.isWatching());
}

TEST_F(UserProxyGuardTest, ConfigurationWithoutHostsRemovesTheProxyAndTheWatch) {
    guard.setProxy("127.0.0.1", 3128, "", 0, true);
    ASSERT_TRUE(guard.isWatching());
    guard.setProxy("", 3128, "", 3129, true);
    EXPECT_EQ(guard.proxySpec(), "");
    EXPECT_FALSE(proxyServer());
    EXPECT_EQ(proxyEnable(), 0u);
    EXPECT_FALSE(guard.isWatching());
}

TEST_F(UserProxyGuardTest, EachOutsideChangeWakesOnceAndIsPutBack) {
    guard.setProxy("127.0.0.1", 3128, "", 0, true);
    for (int change = 0; change < 3; ++change) {
        userTurnsProxyOff();
        ASSERT_TRUE(signalled(guard.watchEvent(), 2000)) << "change " << change;
        mainLoopReacts();
        EXPECT_EQ(proxyEnable(), 1u);
        EXPECT_EQ(proxyServer(), L"http=127.0.0.1:3128");
        EXPECT_FALSE(signalled(guard.watchEvent(), 300)) << "one change, one re-application";
    }
}

TEST_F(UserProxyGuardTest, ProxyTooLongForTheSettingsChangesNothing) {
    guard.setProxy("127.0.0.1", 3128, "", 0, true);
    guard.setProxy(std::string(300, 'h'), 3128, "", 0, true);
    EXPECT_EQ(proxyServer(), L"http=127.0.0.1:3128") << "refused, the forced proxy stays";
    EXPECT_TRUE(guard.isWatching());
}

}  // namespace
}  // namespace brisko
