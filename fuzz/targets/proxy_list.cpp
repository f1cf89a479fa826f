// The two proxy lists built from hosts and ports the core sends: the agent's (any bytes, from the
// core's port) and the bridge's (Java's modified UTF-8). Both leave out what they must, and the
// bridge's never hands on a list longer than its limit or holding a NUL.
#include <cstdint>
#include <optional>
#include <string>

#include "fuzz_input.h"
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

void bridgeList(const std::optional<std::string>& http, int httpPort, const std::optional<std::string>& https,
                int httpsPort) {
    const brisko::SystemProxyList list = brisko::BuildSystemProxyList(http, httpPort, https, httpsPort);
    if (list.refused) {
        FUZZ_CHECK(list.list.empty());
        return;
    }
    FUZZ_CHECK(list.list.find(L'\0') == std::wstring::npos);
    // Each byte of the 8-bit list gives at most one UTF-16 unit.
    FUZZ_CHECK(list.list.size() <= brisko::kMaxProxyListLength);
    const auto usable = [](const std::optional<std::string>& host) {
        return host && !host->empty() && host->size() <= brisko::kMaxProxyHostBytes;
    };
    FUZZ_CHECK(list.list.empty() == (!usable(http) && !usable(https)));
    if (usable(http)) FUZZ_CHECK(list.list.rfind(L"http=", 0) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const uint8_t present = input.byte();
    const int httpPort = input.i32(), httpsPort = input.i32();
    const std::string http = input.narrow(), https = input.narrow();
    agentList(http, httpPort, https, httpsPort);
    bridgeList(present & 1 ? std::optional(http) : std::nullopt, httpPort,
               present & 2 ? std::optional(https) : std::nullopt, httpsPort);
    return 0;
}
