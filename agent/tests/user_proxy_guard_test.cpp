// The user proxy guard: the list it builds and the hosts it refuses, the policy it carries out,
// and the guard itself in the test's own process against the prefix's HKEY_CURRENT_USER: what it
// writes, when it writes, and how an outside change is written over. The guard's watch reaches
// it through window messages of this thread, which waitUntil pumps.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <utility>
#include <vector>

#include "proxy/proxy_list.h"
#include "proxy/proxy_policy.h"
#include "proxy/user_proxy_guard.h"
#include "registry_fixture.h"
#include "system_proxy.h"
#include "test_core.h"

namespace brisko {
namespace {

using namespace std::chrono_literals;
using testing::readDword;
using testing::readString;
using testing::waitUntil;

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

TEST(ProxyList, RefusesHostsThatWouldAddEntriesOrEndOne) {
    const std::pair<const char*, bool> cases[] = {
        {"127.0.0.1", true},
        {"proxy.example", true},
        {"[::1]", true},
        {"h\xC3\xA9", true},
        {"evil;https=127.0.0.1:9", false},
        {"a=b", false},
        {"a b", false},
        {"a\tb", false},
        {"a\r\nb", false},
        {"a\x01", false},
        {"a\x7F", false},
        {"a\xC2\xA0" "b", false},      // no-break space
        {"a\xC2\x85", false},          // next line, a C1 control
        {"a\xE2\x80\xA8" "b", false},  // line separator
        {"\xC3", false},                // not UTF-8
    };
    for (const auto& [host, accepted] : cases) {
        EXPECT_EQ(AcceptableProxyList({host, 3128, "", 0}).has_value(), accepted) << host;
        EXPECT_EQ(AcceptableProxyList({"", 0, host, 3129}).has_value(), accepted) << host << " (https)";
    }
    EXPECT_EQ(AcceptableProxyList({}), std::string()) << "no hosts: an empty list, accepted";
}

// A host of that many units: labels of 60 letters (the longest a label may be is 63).
std::string hostOf(size_t length, const std::string& letter = "h") {
    std::string host;
    for (size_t units = 0; units < length; ++units) host += units % 61 == 60 ? "." : letter;
    return host;
}

TEST(ProxyList, AListIsAcceptedUpToTheLengthTheSettingsTake) {
    // "http=" host ":3128;https=" host ":3129": 22 units around the hosts.
    const auto list = [](size_t firstLength, size_t secondLength, const std::string& letter = "h") {
        return AcceptableProxyList({hostOf(firstLength, letter), 3128, hostOf(secondLength, letter), 3129});
    };
    ASSERT_TRUE(list(200, kMaxUserProxyLength - 222));
    EXPECT_EQ(list(200, kMaxUserProxyLength - 222)->size(), kMaxUserProxyLength);
    EXPECT_FALSE(list(200, kMaxUserProxyLength - 221));
    EXPECT_FALSE(list(10'000, 0));
    // Counted in UTF-16 units, as the settings store it: two bytes of UTF-8, one unit.
    EXPECT_TRUE(list(200, kMaxUserProxyLength - 222, "\xC3\xA9"));
}

// ---- the policy

const ProxyConfigurationPayload kCore{"127.0.0.1", 3128, "", 0};
const ProxyConfigurationPayload kOtherCore{"127.0.0.1", 3130, "127.0.0.1", 3131};
const ProxyConfigurationPayload kNoHosts{};
const ProxyConfigurationPayload kInjecting{"127.0.0.1;https=evil", 3128, "", 0};
const ProxyConfigurationPayload kTooLong{std::string(300, 'h'), 3128, "", 0};

enum class Event { Configured, ConfiguredWhileOff, ProtectionOn, ProtectionOff, SettingsChanged, Stop };

struct Step {
    Event event;
    ProxyConfigurationPayload configuration;
    ProxyAction action;
};

struct PolicyCase {
    const char* name;
    std::vector<Step> steps;
    bool forcing;
    std::string list;
};

ProxyAction apply(ProxyPolicy& policy, const Step& step) {
    switch (step.event) {
        case Event::Configured:
            return policy.configure(step.configuration, true);
        case Event::ConfiguredWhileOff:
            return policy.configure(step.configuration, false);
        case Event::ProtectionOn:
            return policy.protectionChanged(true);
        case Event::ProtectionOff:
            return policy.protectionChanged(false);
        case Event::SettingsChanged:
            return policy.settingsChanged();
        case Event::Stop:
            return policy.stop();
    }
    return ProxyAction::None;
}

constexpr ProxyAction kNone = ProxyAction::None;
constexpr ProxyAction kForce = ProxyAction::Force;
constexpr ProxyAction kClear = ProxyAction::Clear;
const std::string kCoreList = "http=127.0.0.1:3128";

TEST(ProxyPolicy, DecidesEveryStep) {
    const PolicyCase cases[] = {
        {"ConfigurationWhileOnForces", {{Event::Configured, kCore, kForce}}, true, kCoreList},
        {"ConfigurationWhileOffIsKeptForLater",
         {{Event::ConfiguredWhileOff, kCore, kNone}, {Event::ProtectionOn, {}, kForce}}, true, kCoreList},
        {"NoHostsClearsEvenWhenNothingIsForced", {{Event::Configured, kNoHosts, kClear}}, false, ""},
        {"NoHostsEndsTheForcing", {{Event::Configured, kCore, kForce}, {Event::Configured, kNoHosts, kClear}}, false, ""},
        {"OffClearsWhatIsForcedOnForcesItAgain",
         {{Event::Configured, kCore, kForce}, {Event::ProtectionOff, {}, kClear}, {Event::ProtectionOff, {}, kNone},
          {Event::ProtectionOn, {}, kForce}},
         true, kCoreList},
        {"OnWithoutAConfigurationForcesNothing", {{Event::ProtectionOn, {}, kNone}}, false, ""},
        {"AnOutsideChangeIsWrittenOverOnlyWhileForcing",
         {{Event::SettingsChanged, {}, kNone}, {Event::Configured, kCore, kForce}, {Event::SettingsChanged, {}, kForce},
          {Event::ProtectionOff, {}, kClear}, {Event::SettingsChanged, {}, kNone}},
         false, kCoreList},
        {"ARefusedConfigurationKeepsTheForcing",
         {{Event::Configured, kCore, kForce}, {Event::Configured, kInjecting, kNone}, {Event::Configured, kTooLong, kNone},
          {Event::SettingsChanged, {}, kForce}},
         true, kCoreList},
        {"ARefusedConfigurationWhileOffKeepsTheOneForLater",
         {{Event::ConfiguredWhileOff, kCore, kNone}, {Event::ConfiguredWhileOff, kTooLong, kNone},
          {Event::ProtectionOn, {}, kForce}},
         true, kCoreList},
        {"ARefusedFirstConfigurationForcesNothing",
         {{Event::Configured, kInjecting, kNone}, {Event::ProtectionOn, {}, kNone}}, false, ""},
        {"ANewConfigurationReplacesTheForcedOne",
         {{Event::Configured, kCore, kForce}, {Event::Configured, kOtherCore, kForce}}, true,
         "http=127.0.0.1:3130;https=127.0.0.1:3131"},
        {"StopClearsOnlyWhatIsForced",
         {{Event::Stop, {}, kNone}, {Event::Configured, kCore, kForce}, {Event::Stop, {}, kClear}, {Event::Stop, {}, kNone}},
         false, kCoreList},
    };
    for (const PolicyCase& c : cases) {
        ProxyPolicy policy;
        for (size_t i = 0; i < c.steps.size(); ++i)
            EXPECT_EQ(apply(policy, c.steps[i]), c.steps[i].action) << c.name << ", step " << i;
        EXPECT_EQ(policy.forcing(), c.forcing) << c.name;
        EXPECT_EQ(policy.proxyList(), c.list) << c.name;
    }
}

// ---- the guard on the registry

const std::wstring kSettings = kInternetSettingsKey;

class UserProxyGuardTest : public ::testing::Test {
protected:
    UserProxyGuardTest() { SetUserProxy(nullptr); }
    ~UserProxyGuardTest() override { SetUserProxy(nullptr); }

    static std::optional<std::wstring> proxyServer() { return readString(HKEY_CURRENT_USER, kSettings, L"ProxyServer"); }
    static std::optional<DWORD> proxyEnable() { return readDword(HKEY_CURRENT_USER, kSettings, L"ProxyEnable"); }
    static bool forced(const std::wstring& list) { return proxyServer() == list && proxyEnable() == 1u; }
    static bool removed() { return !proxyServer() && proxyEnable() == 0u; }
    // Another program turning the proxy off in its Internet options.
    static void userTurnsProxyOff() {
        testing::setRaw(HKEY_CURRENT_USER, kSettings, L"ProxyEnable", REG_DWORD, "\0\0\0\0", 4);
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kSettings.c_str(), L"ProxyServer");
    }
    // Turns the proxy off from outside and waits until the guard has written it back for the
    // n-th time; false when it did not.
    bool changeAndAwaitRewrite(uint32_t n, const std::wstring& list) {
        userTurnsProxyOff();
        return waitUntil([&] { return guard.rewrites() == n && forced(list); }, 10s);
    }

    UserProxyGuard guard;
};

TEST_F(UserProxyGuardTest, ConfigurationWhileEnabledIsForcedAndWatched) {
    guard.configure({"127.0.0.1", 3128, "127.0.0.1", 3129}, true);
    EXPECT_EQ(guard.proxyList(), "http=127.0.0.1:3128;https=127.0.0.1:3129");
    EXPECT_TRUE(forced(L"http=127.0.0.1:3128;https=127.0.0.1:3129"));
    EXPECT_TRUE(guard.forcing());
    EXPECT_TRUE(guard.watching());
    guard.stop();
    EXPECT_TRUE(removed());
    EXPECT_FALSE(guard.watching());
}

TEST_F(UserProxyGuardTest, ConfigurationWhileDisabledIsOnlyKept) {
    guard.configure({"127.0.0.1", 3128, "", 0}, false);
    EXPECT_EQ(guard.proxyList(), "http=127.0.0.1:3128");
    EXPECT_TRUE(removed());
    EXPECT_FALSE(guard.watching());
    guard.protectionChanged(true);
    EXPECT_TRUE(forced(L"http=127.0.0.1:3128"));
    EXPECT_TRUE(guard.watching());
}

TEST_F(UserProxyGuardTest, ConfigurationWithoutHostsRemovesTheProxyAndTheWatch) {
    guard.configure({"127.0.0.1", 3128, "", 0}, true);
    ASSERT_TRUE(guard.watching());
    guard.configure({"", 3128, "", 3129}, true);
    EXPECT_EQ(guard.proxyList(), "");
    EXPECT_TRUE(removed());
    EXPECT_FALSE(guard.watching());
}

// One outside change, one rewrite: the guard's own write wakes nothing, and the next change
// after a rewrite is seen again. A fourth change is the proof that nothing else was pending.
TEST_F(UserProxyGuardTest, EachOutsideChangeIsWrittenOverOnce) {
    guard.configure({"127.0.0.1", 3128, "", 0}, true);
    for (uint32_t change = 1; change <= 4; ++change)
        ASSERT_TRUE(changeAndAwaitRewrite(change, L"http=127.0.0.1:3128")) << "change " << change << ", "
                                                                           << guard.rewrites() << " rewrites";
}

// The refused configuration used to replace the forced list, so the next outside change was
// answered with a write the settings refused: the forcing lapsed for good.
TEST_F(UserProxyGuardTest, ARefusedConfigurationKeepsWhatIsForced) {
    const ProxyConfigurationPayload refused[] = {
        {std::string(300, 'h'), 3128, "", 0},
        {std::string(10'000, 'h'), 3128, "", 0},
        {"127.0.0.1;https=10.1.1.1", 3128, "", 0},
        {"127.0.0.1", 3128, "10.1.1.1 ", 3129},
        {"a=b", 1, "", 0},
    };
    guard.configure({"127.0.0.1", 3128, "", 0}, true);
    uint32_t rewrites = 0;
    for (const ProxyConfigurationPayload& configuration : refused) {
        guard.configure(configuration, true);
        EXPECT_EQ(guard.proxyList(), "http=127.0.0.1:3128") << configuration.httpHost.substr(0, 40);
        EXPECT_TRUE(forced(L"http=127.0.0.1:3128"));
        ASSERT_TRUE(changeAndAwaitRewrite(++rewrites, L"http=127.0.0.1:3128"))
            << "the forcing lapsed after " << configuration.httpHost.substr(0, 40);
    }
}

TEST_F(UserProxyGuardTest, ProtectionOffRemovesTheProxyAndOnForcesAndWatchesItAgain) {
    guard.configure({"127.0.0.1", 3128, "", 0}, true);
    guard.protectionChanged(false);
    EXPECT_TRUE(removed());
    EXPECT_FALSE(guard.watching());
    EXPECT_FALSE(guard.forcing());
    guard.protectionChanged(true);
    EXPECT_TRUE(forced(L"http=127.0.0.1:3128"));
    EXPECT_TRUE(changeAndAwaitRewrite(1, L"http=127.0.0.1:3128")) << "watched again";
}

}  // namespace
}  // namespace brisko
