#include "proxy/proxy_list.h"

#include <windows.h>

#include <vector>

#include "system_proxy.h"
#include "text.h"

namespace brisko {

std::string BuildProxyList(const std::string& httpHost, int httpPort, const std::string& httpsHost, int httpsPort) {
    std::string spec;
    if (!httpHost.empty()) spec = "http=" + httpHost + ":" + std::to_string(httpPort);
    if (!httpsHost.empty()) {
        if (!spec.empty()) spec += ";";
        spec += "https=" + httpsHost + ":" + std::to_string(httpsPort);
    }
    return spec;
}

bool IsAcceptableProxyHost(std::string_view host) {
    const std::optional<std::wstring> wide = strictUtf8ToWide(host);
    if (!wide) return false;
    if (wide->empty()) return true;
    // Every kind of white space and control character, beyond ASCII too (a no-break space, a
    // line separator, C1 controls).
    std::vector<WORD> types(wide->size());
    if (!::GetStringTypeW(CT_CTYPE1, wide->data(), static_cast<int>(wide->size()), types.data())) return false;
    for (size_t i = 0; i < wide->size(); ++i) {
        const wchar_t unit = (*wide)[i];
        if (unit == L';' || unit == L'=' || (types[i] & (C1_SPACE | C1_CNTRL | C1_BLANK)) != 0) return false;
    }
    return true;
}

std::optional<std::string> AcceptableProxyList(const ProxyConfiguration& configuration) {
    if (!IsAcceptableProxyHost(configuration.httpHost) || !IsAcceptableProxyHost(configuration.httpsHost))
        return std::nullopt;
    std::string list =
        BuildProxyList(configuration.httpHost, configuration.httpPort, configuration.httpsHost, configuration.httpsPort);
    // The same measure SetUserProxy applies, so a list it would refuse is refused before it is kept.
    if (strictUtf8ToWide(list).value_or(L"").size() > kMaxUserProxyLength) return std::nullopt;
    return list;
}

}  // namespace brisko
