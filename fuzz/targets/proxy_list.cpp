// The two proxy lists built from hosts and ports the core sends: the agent's (any bytes, from the
// core's port) and the bridge's (Java's strings). Both leave out what they must; the bridge's is
// built only from hosts and ports a proxy list may hold, and then holds exactly those.
#include <cstdint>
#include <optional>
#include <string>

#include "fuzz_input.h"
#include "proxy_host.h"
#include "proxy/proxy_list.h"
#include "proxy/system_proxy_list.h"

namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

void agentList(const std::string& http, int httpPort, const std::string& https, int httpsPort) {
    const std::string list = brisko::BuildProxyList(http, httpPort, https, httpsPort);
    FUZZ_CHECK(list.empty() == (http.empty() && https.empty()));
    if (!http.empty()) FUZZ_CHECK(list.rfind("http=" + http + ":" + std::to_string(httpPort), 0) == 0);
    if (!https.empty()) {
        const std::string part = "https=" + https + ":" + std::to_string(httpsPort);
        FUZZ_CHECK(list.size() >= part.size() && list.compare(list.size() - part.size(), part.size(), part) == 0);
    }
    if (!http.empty() && !https.empty()) FUZZ_CHECK(list.size() > 5 + http.size() && contains(list, ";https="));
}

void bridgeList(const std::wstring& http, int httpPort, const std::wstring& https, int httpsPort) {
    const auto usable = [](const std::wstring& host, int port) {
        return host.empty() || (brisko::IsProxyHost(host) && brisko::IsProxyPort(port));
    };
    const std::optional<std::wstring> list = brisko::BuildSystemProxyList(http, httpPort, https, httpsPort);
    FUZZ_CHECK(list.has_value() == (usable(http, httpPort) && usable(https, httpsPort)));
    if (!list) return;
    if (!http.empty() || !https.empty()) {
        // A checked host holds no separator, so the list splits back into exactly its entries.
        std::wstring expected;
        if (!http.empty()) expected = L"http=" + http + L":" + std::to_wstring(httpPort);
        if (!https.empty())
            expected += (expected.empty() ? L"" : L";") + (L"https=" + https + L":" + std::to_wstring(httpsPort));
        FUZZ_CHECK(*list == expected);
        FUZZ_CHECK(list->find(L'\0') == std::wstring::npos);
    } else {
        FUZZ_CHECK(list->empty());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const int httpPort = input.i32(), httpsPort = input.i32();
    const std::string http = input.narrow(), https = input.narrow();
    agentList(http, httpPort, https, httpsPort);
    const std::wstring wideHttp = input.wide(), wideHttps = input.wide();
    bridgeList(wideHttp, httpPort, wideHttps, httpsPort);
    return 0;
}
