// The hosts and ports setSystemProxy accepts, and the list it builds from them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <string>

#include "proxy_host.h"
#include "proxy/system_proxy_list.h"
#include "text.h"

namespace brisko::testing {
namespace {

std::wstring Labels(size_t count, size_t length) {
    std::wstring host;
    for (size_t i = 0; i < count; ++i) host += (i ? L"." : L"") + std::wstring(length, L'a');
    return host;
}

TEST(ProxyHost, IsAHostNameOrAnIpLiteral) {
    const struct {
        std::wstring host;
        bool valid;
    } cases[] = {
        {L"127.0.0.1", true},
        {L"localhost", true},
        {L"proxy.example.com", true},
        {L"my-proxy_1.corp", true},
        {L"xn--hte-bma.example", true},
        {L"h\u00f4te.example", true},
        {L"\U0001d525.example", true},
        {L"[::1]", true},
        {L"[2001:db8::8a2e:370:7334]", true},
        {L"[2001:db8:0:0:1:0:0:1]", true},
        {L"[::ffff:192.0.2.128]", true},
        {L"[fe80::]", true},
        {L"[::]", true},
        {L"1a.example", true},
        {std::wstring(63, L'a') + L".example", true},
        {Labels(4, 63).substr(0, 253), true},
        // Length: 253 units at most, 63 in a label.
        {Labels(4, 63).substr(0, 253) + L"a", false},
        {std::wstring(64, L'a') + L".example", false},
        {std::wstring(200000, L'a'), false},
        {L"", false},
        // Separators of the list and of URLs, white space and controls.
        {L"a;https=evil:1", false},
        {L"a=b", false},
        {L"a:1", false},
        {L"a b", false},
        {L" a", false},
        {L"a\t", false},
        {L"a\r\nb", false},
        {std::wstring(L"a\0b", 3), false},
        {L"a/b", false},
        {L"a\\b", false},
        {L"a@b", false},
        {L"a,b", false},
        {L"a\u00a0b", false},
        {L"a\u200bb", false},
        {L"a\u2028b", false},
        {L"a\u3000b", false},
        {L"a\ufeffb", false},
        {L"a\u0085b", false},
        {std::wstring(L"a") + wchar_t(0xD835), false},
        {std::wstring(1, wchar_t(0xDD25)) + L"a", false},
        // Labels.
        {L"a..b", false},
        {L".a", false},
        {L"a.", false},
        {L"-a.example", false},
        {L"a-.example", false},
        // Numbers: an IPv4 literal whole, or nothing.
        {L"256.0.0.1", false},
        {L"1.2.3", false},
        {L"1.2.3.4.5", false},
        {L"010.0.0.1", false},
        {L"example.123", false},
        {L"123", false},
        // IPv6 in brackets only, well formed, without zone.
        {L"::1", false},
        {L"[::1", false},
        {L"[]", false},
        {L"[1:2:3:4:5:6:7:8:9]", false},
        {L"[1:2:3:4:5:6:7]", false},
        {L"[1::2::3]", false},
        {L"[12345::1]", false},
        {L"[::g]", false},
        {L"[fe80::1%25eth0]", false},
        {L"[1.2.3.4::]", false},
        {L"[1:2:3:4:5:6:7::8]", false},
        {L"[::1]:80", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsProxyHost(c.host), c.valid) << wideToUtf8(c.host.substr(0, 80));
}

TEST(ProxyHost, PortIsOneTo65535) {
    for (const int port : {1, 80, 3128, 65535}) EXPECT_TRUE(IsProxyPort(port)) << port;
    for (const int port : {0, -1, 65536, 70000, INT_MIN, INT_MAX}) EXPECT_FALSE(IsProxyPort(port)) << port;
}

TEST(SystemProxyList, JoinsTheGivenHostsOrRefusesThemAll) {
    const struct {
        const char* name;
        std::wstring httpHost;
        int httpPort;
        std::wstring httpsHost;
        int httpsPort;
        std::optional<std::wstring> list;
    } cases[] = {
        {"Both", L"127.0.0.1", 3128, L"127.0.0.1", 3129, L"http=127.0.0.1:3128;https=127.0.0.1:3129"},
        {"HttpOnly", L"p", 1, L"", 0, L"http=p:1"},
        {"HttpsOnly", L"", 0, L"p", 65535, L"https=p:65535"},
        {"NoneRemoves", L"", -1, L"", 70000, L""},
        {"LongestHostsBoth", Labels(4, 63).substr(0, 253), 65535, Labels(4, 63).substr(0, 253), 65535,
         L"http=" + Labels(4, 63).substr(0, 253) + L":65535;https=" + Labels(4, 63).substr(0, 253) + L":65535"},
        {"BadHttpsHost", L"p", 1, L"a;b", 2, std::nullopt},
        {"BadHttpHost", L"a b", 1, L"p", 2, std::nullopt},
        {"PortZero", L"p", 0, L"p", 2, std::nullopt},
        {"PortAbove65535", L"p", 1, L"p", 70000, std::nullopt},
        {"NegativePort", L"p", -1, L"", 0, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BuildSystemProxyList(c.httpHost, c.httpPort, c.httpsHost, c.httpsPort), c.list) << c.name;
}

}  // namespace
}  // namespace brisko::testing
