// Per-user proxy settings through the registry of the Wine prefix: a test key plays the user
// root, and the dial-up seam plays the phone book.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "blob_builder.h"
#include "fake_dial_up.h"
#include "registry_fixture.h"
#include "system_proxy.h"

namespace brisko::testing {
namespace {

using ::testing::ElementsAreArray;

const std::wstring kConnections = kConnectionsKey;
const std::wstring kSettings = kInternetSettingsKey;

struct VisitCase {
    const char* name;
    std::vector<std::wstring> active;
    std::vector<std::wstring> phoneBook;
    std::vector<std::wstring> values;  // created in this (alphabetical) order
    std::vector<std::wstring> expected;
};

class ConnectionOrderTest : public ::testing::TestWithParam<VisitCase> {};

TEST_P(ConnectionOrderTest, OffersEntriesThenValuesThenTheUnseenActiveEntry) {
    const VisitCase& c = GetParam();
    TestKey root(L"order");
    for (const auto& value : c.values) setBinary(root.get(), kConnections, value.c_str(), makeBlob({}));
    FakeDialUp ras;
    ras.active = c.active;
    ras.phoneBook = c.phoneBook;
    std::vector<std::wstring> offered;
    const LONG result = ForEachConnectionSetting(
        root.get(),
        [&](HKEY, const wchar_t* name) {
            offered.emplace_back(name);
            return static_cast<LONG>(offered.size());
        },
        RegistryView::Registry32, ras.api());
    EXPECT_THAT(offered, ElementsAreArray(c.expected));
    EXPECT_EQ(result, static_cast<LONG>(c.expected.size())) << "the last callback result";
}

const std::wstring kLongName(257, L'x');
const std::wstring kLongestName(256, L'y');

INSTANTIATE_TEST_SUITE_P(
    Connections, ConnectionOrderTest,
    ::testing::Values(
        VisitCase{"ValuesOnly", {}, {}, {L"DefaultConnectionSettings", L"SavedLegacySettings"},
                  {L"DefaultConnectionSettings", L"SavedLegacySettings"}},
        VisitCase{"PhoneBookFirstEvenWhenAlsoAValue", {}, {L"VPN", L"Dial"}, {L"DefaultConnectionSettings", L"VPN"},
                  {L"VPN", L"Dial", L"DefaultConnectionSettings", L"VPN"}},
        VisitCase{"ActiveInThePhoneBookIsNotRepeated", {L"Dial"}, {L"VPN", L"Dial"}, {L"DefaultConnectionSettings"},
                  {L"VPN", L"Dial", L"DefaultConnectionSettings"}},
        VisitCase{"ActiveAsAValueIsNotRepeated", {L"Mobile"}, {}, {L"DefaultConnectionSettings", L"Mobile"},
                  {L"DefaultConnectionSettings", L"Mobile"}},
        VisitCase{"ActiveSeenNowhereIsOfferedLast", {L"Mobile", L"Other"}, {L"VPN"}, {L"DefaultConnectionSettings"},
                  {L"VPN", L"DefaultConnectionSettings", L"Mobile"}},
        VisitCase{"ActiveMatchesCaseSensitively", {L"vpn"}, {L"VPN"}, {L"DefaultConnectionSettings"},
                  {L"VPN", L"DefaultConnectionSettings", L"vpn"}},
        VisitCase{"ActiveNameOf256UnitsIsTaken", {kLongestName}, {}, {L"DefaultConnectionSettings"},
                  {L"DefaultConnectionSettings", kLongestName}},
        VisitCase{"ActiveNameTooLongIsRefused", {kLongName}, {}, {L"DefaultConnectionSettings"},
                  {L"DefaultConnectionSettings"}},
        VisitCase{"NothingAtAll", {}, {}, {}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ConnectionSettings, MissingConnectionsKeyOffersNothing) {
    TestKey root(L"nokey");
    FakeDialUp ras;
    ras.active = {L"Mobile"};
    ras.phoneBook = {L"VPN"};
    int calls = 0;
    EXPECT_EQ(ForEachConnectionSetting(root.get(), [&](HKEY, const wchar_t*) { return ++calls, 5L; },
                                       RegistryView::Registry32, ras.api()),
              0);
    EXPECT_EQ(calls, 0);
}

TEST(ConnectionSettings, ValueNamesTooLongForTheBufferAreSkipped) {
    TestKey root(L"longname");
    setBinary(root.get(), kConnections, L"A", makeBlob({}));
    setBinary(root.get(), kConnections, std::wstring(600, L'B').c_str(), makeBlob({}));
    setBinary(root.get(), kConnections, L"C", makeBlob({}));
    FakeDialUp ras;
    std::vector<std::wstring> offered;
    ForEachConnectionSetting(root.get(), [&](HKEY, const wchar_t* name) { return offered.emplace_back(name), 0L; },
                             RegistryView::Registry32, ras.api());
    EXPECT_THAT(offered, ElementsAreArray({L"A", L"C"}));
}

constexpr char kProxy[] = "http=127.0.0.1:3128;https=127.0.0.1:3129";
constexpr wchar_t kWideProxy[] = L"http=127.0.0.1:3128;https=127.0.0.1:3129";
const ProxySettings kSet{kProxy, kWideProxy};
const ProxySettings kClear{};

// A user root with the kinds of connection values a real one holds, and some it should not.
class UserRootTest : public ::testing::Test {
protected:
    UserRootTest() {
        ras.phoneBook = {L"VPN", L"Dial"};
        ras.active = {L"Mobile"};
        setBinary(root.get(), kConnections, L"DefaultConnectionSettings",
                  makeBlob({.counter = 10, .flags = 0x5, .tail = autoConfigTail("http://wpad/wpad.dat")}));
        setBinary(root.get(), kConnections, L"SavedLegacySettings", legacy);
        setBinary(root.get(), kConnections, L"VPN", makeBlob({.counter = 20}));
        setBinary(root.get(), kConnections, L"Big", big);
        setBinary(root.get(), kConnections, L"Short", shortBlob);
        setString(root.get(), kConnections, L"Text", L"not a blob");
        setString(root.get(), kSettings, L"User Agent", L"Mozilla/4.0");
    }

    std::vector<uint8_t> blob(const wchar_t* name) { return readBinary(root.get(), kConnections, name).value_or(Bytes{}); }
    uint32_t counter(const wchar_t* name) { return counterOf(blob(name)); }
    void expectOthersUnchanged() {
        EXPECT_EQ(blob(L"SavedLegacySettings"), legacy);
        EXPECT_EQ(blob(L"Short"), shortBlob);
        EXPECT_EQ(readString(root.get(), kConnections, L"Text"), L"not a blob");
        EXPECT_FALSE(readRaw(root.get(), kConnections, L"Dial")) << "entries without a blob get none";
        EXPECT_FALSE(readRaw(root.get(), kConnections, L"Mobile"));
        EXPECT_EQ(readString(root.get(), kSettings, L"User Agent"), L"Mozilla/4.0");
    }

    TestKey root{L"user"};
    FakeDialUp ras;
    const Bytes legacy = makeBlob({.counter = 3, .flags = 1, .server = "old:80"});
    // Rewritten with kProxy it would reach 1024 bytes.
    const Bytes big = makeBlob({.tail = Bytes(1024 - 16 - 4 - 7 - (sizeof kProxy - 1), 0x11)});
    const Bytes shortBlob = {1, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 50, 0, 0, 0, 'a'};
};

TEST_F(UserRootTest, SettingPointsEveryConnectionAtTheProxyOnce) {
    EXPECT_EQ(ApplyUserProxy(root.get(), kSet, ras.api()), 0);
    EXPECT_EQ(blob(L"DefaultConnectionSettings"),
              makeBlob({.counter = 11, .flags = 3, .server = kProxy, .bypass = "<local>",
                        .tail = autoConfigTail("http://wpad/wpad.dat")}));
    EXPECT_EQ(blob(L"VPN"), makeBlob({.counter = 21, .flags = 3, .server = kProxy, .bypass = "<local>"}));
    EXPECT_EQ(readString(root.get(), kSettings, L"ProxyServer"), kWideProxy);
    EXPECT_EQ(readString(root.get(), kSettings, L"ProxyOverride"), L"<local>");
    EXPECT_EQ(readDword(root.get(), kSettings, L"ProxyEnable"), 1u);
    EXPECT_EQ(blob(L"Big"), big) << "a rewrite reaching 1024 bytes is dropped";
    expectOthersUnchanged();

    EXPECT_EQ(ApplyUserProxy(root.get(), kSet, ras.api()), 0);
    EXPECT_EQ(counter(L"DefaultConnectionSettings"), 11u) << "the same proxy again leaves the blobs alone";
    EXPECT_EQ(counter(L"VPN"), 21u);
}

TEST_F(UserRootTest, ClearingRewritesEachVisitAndRemovesTheValues) {
    ASSERT_EQ(ApplyUserProxy(root.get(), kSet, ras.api()), 0);
    EXPECT_EQ(ApplyUserProxy(root.get(), kClear, ras.api()), 0);
    EXPECT_EQ(blob(L"DefaultConnectionSettings"),
              makeBlob({.counter = 12, .flags = 9, .tail = autoConfigTail("http://wpad/wpad.dat")}));
    EXPECT_EQ(counter(L"VPN"), 23u) << "a phone-book entry that is also a value is rewritten twice";
    EXPECT_EQ(counter(L"Big"), 6u) << "without the proxy text it fits";
    EXPECT_FALSE(readRaw(root.get(), kSettings, L"ProxyServer"));
    EXPECT_FALSE(readRaw(root.get(), kSettings, L"ProxyOverride"));
    EXPECT_EQ(readDword(root.get(), kSettings, L"ProxyEnable"), 0u);
    expectOthersUnchanged();

    EXPECT_EQ(ApplyUserProxy(root.get(), kClear, ras.api()), 0);
    EXPECT_EQ(counter(L"DefaultConnectionSettings"), 13u);
    EXPECT_EQ(counter(L"VPN"), 25u);
}

TEST(UserRoot, WithoutInternetSettingsTheKeyIsCreated) {
    TestKey root(L"bare");
    FakeDialUp ras;
    EXPECT_EQ(ApplyUserProxy(root.get(), kClear, ras.api()), 0);
    EXPECT_EQ(readDword(root.get(), kSettings, L"ProxyEnable"), 0u);
    EXPECT_FALSE(keyExists(root.get(), kConnections));
}

TEST(UserRoot, HundredsOfConnectionsAreAllRewritten) {
    TestKey root(L"many");
    FakeDialUp ras;
    for (int i = 0; i < 300; ++i)
        setBinary(root.get(), kConnections, (L"Entry" + std::to_wstring(i)).c_str(), makeBlob({.counter = 1}));
    ASSERT_EQ(ApplyUserProxy(root.get(), kSet, ras.api()), 0);
    for (int i = 0; i < 300; ++i) {
        const auto value = readBinary(root.get(), kConnections, (L"Entry" + std::to_wstring(i)).c_str());
        ASSERT_TRUE(value);
        EXPECT_EQ(*value, makeBlob({.counter = 2, .flags = 3, .server = kProxy, .bypass = "<local>"})) << i;
    }
}

}  // namespace
}  // namespace brisko::testing
