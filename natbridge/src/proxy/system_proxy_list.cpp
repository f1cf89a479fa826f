#include "proxy/system_proxy_list.h"

#include "text.h"

namespace brisko {
namespace {

bool usable(const std::optional<std::string>& host) {
    return host && !host->empty() && host->size() <= kMaxProxyHostBytes;
}

}  // namespace

SystemProxyList BuildSystemProxyList(const std::optional<std::string>& httpHost, int httpPort,
                                     const std::optional<std::string>& httpsHost, int httpsPort) {
    std::string list;
    if (usable(httpHost)) list = "http=" + *httpHost + ":" + std::to_string(httpPort);
    if (usable(httpsHost)) {
        if (!list.empty()) list += ";";
        list += "https=" + *httpsHost + ":" + std::to_string(httpsPort);
    }
    if (list.size() > kMaxProxyListLength) return {true, {}};
    std::wstring wide = modifiedUtf8ToWide(list);
    if (wide.find(L'\0') != std::wstring::npos) return {true, {}};
    return {false, std::move(wide)};
}

}  // namespace brisko
