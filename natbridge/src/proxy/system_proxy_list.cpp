#include "proxy/system_proxy_list.h"

#include "proxy_host.h"

namespace brisko {
namespace {

bool Usable(std::wstring_view host, int port) { return host.empty() || (IsProxyHost(host) && IsProxyPort(port)); }

std::wstring Entry(const wchar_t* scheme, std::wstring_view host, int port) {
    return scheme + std::wstring(host) + L":" + std::to_wstring(port);
}

}  // namespace

std::optional<std::wstring> BuildSystemProxyList(std::wstring_view httpHost, int httpPort, std::wstring_view httpsHost,
                                                 int httpsPort) {
    if (!Usable(httpHost, httpPort) || !Usable(httpsHost, httpsPort)) return std::nullopt;
    std::wstring list;
    if (!httpHost.empty()) list = Entry(L"http=", httpHost, httpPort);
    if (!httpsHost.empty()) {
        if (!list.empty()) list += L";";
        list += Entry(L"https=", httpsHost, httpsPort);
    }
    return list;
}

}  // namespace brisko
