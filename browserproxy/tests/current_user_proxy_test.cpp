// SetUserProxy on the prefix's own HKEY_CURRENT_USER, as the agent calls it.
#include <gtest/gtest.h>

#include <string>

#include "blob_builder.h"
#include "registry_fixture.h"
#include "system_proxy.h"

namespace brisko::testing {
namespace {

const std::wstring kConnections = kConnectionsKey;
const std::wstring kSettings = kInternetSettingsKey;
constexpr wchar_t kBlobName[] = L"HarbeeTestConnection";

std::string repeated(std::string_view text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += text;
    return out;
}

class CurrentUserProxyTest : public ::testing::Test {
protected:
    CurrentUserProxyTest() { setBinary(HKEY_CURRENT_USER, kConnections, kBlobName, makeBlob({.counter = 1})); }
    ~CurrentUserProxyTest() override {
        SetUserProxy(nullptr);
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kConnections.c_str(), kBlobName);
    }

    static std::optional<std::wstring> proxyServer() { return readString(HKEY_CURRENT_USER, kSettings, L"ProxyServer"); }
    static Bytes connection() { return readBinary(HKEY_CURRENT_USER, kConnections, kBlobName).value_or(Bytes{}); }
};

TEST_F(CurrentUserProxyTest, NonAsciiHostIsStoredAsUtf16AndUtf8) {
    const char* proxy = "http=h\xC3\xA9te.example:3128;https=\xE4\xBB\xA3\xE7\x90\x86:3129";
    ASSERT_EQ(SetUserProxy(proxy), 0);
    EXPECT_EQ(proxyServer(), L"http=h\u00e9te.example:3128;https=\u4ee3\u7406:3129");
    EXPECT_EQ(readDword(HKEY_CURRENT_USER, kSettings, L"ProxyEnable"), 1u);
    EXPECT_EQ(connection(), makeBlob({.counter = 2, .flags = 3, .server = proxy, .bypass = "<local>"}));

    ASSERT_EQ(SetUserProxy(nullptr), 0);
    EXPECT_FALSE(proxyServer());
    EXPECT_EQ(readDword(HKEY_CURRENT_USER, kSettings, L"ProxyEnable"), 0u);
    EXPECT_EQ(connection(), makeBlob({.counter = 3, .flags = 9}));
}

TEST_F(CurrentUserProxyTest, TextThatDoesNotFitOrIsNotUtf8IsRefusedAndChangesNothing) {
    const std::string longest = "http=" + std::string(250, 'h');  // 255 code units
    ASSERT_EQ(SetUserProxy(longest.c_str()), 0);
    EXPECT_EQ(proxyServer(), std::wstring(longest.begin(), longest.end()));
    const Bytes before = connection();

    const std::string tooLong = longest + "h";
    const std::string accents = "http=" + repeated("\xC3\xA9", 251);  // 256 code units, 507 bytes
    for (const std::string& refused : {tooLong, accents, std::string("http=bad\xC3(:1"), std::string("http=\xFF:1")}) {
        EXPECT_EQ(SetUserProxy(refused.c_str()), -1) << refused;
        EXPECT_EQ(proxyServer(), std::wstring(longest.begin(), longest.end()));
        EXPECT_EQ(connection(), before);
        EXPECT_EQ(readDword(HKEY_CURRENT_USER, kSettings, L"ProxyEnable"), 1u);
    }
}

}  // namespace
}  // namespace brisko::testing
