#include "proxy/proxy_policy.h"

#include "proxy/proxy_list.h"
#include "proxy_host.h"
#include "system_proxy.h"
#include "text.h"

namespace brisko {
namespace {

bool acceptableHost(const std::string& host) {
    if (host.empty()) return true;  // no proxy for that scheme
    const std::optional<std::wstring> wide = strictUtf8ToWide(host);
    return wide && IsProxyHost(*wide);
}

}  // namespace

std::optional<std::string> AcceptableProxyList(const ProxyConfigurationPayload& configuration) {
    if (!acceptableHost(configuration.httpHost) || !acceptableHost(configuration.httpsHost)) return std::nullopt;
    std::string list =
        BuildProxyList(configuration.httpHost, configuration.httpPort, configuration.httpsHost, configuration.httpsPort);
    // The measure SetUserProxy applies, so that a list it would refuse is refused before it is kept.
    if (strictUtf8ToWide(list).value_or(L"").size() > kMaxUserProxyLength) return std::nullopt;
    return list;
}

ProxyAction ProxyPolicy::configure(const ProxyConfigurationPayload& configuration, bool protectionEnabled) {
    const std::optional<std::string> list = AcceptableProxyList(configuration);
    if (!list) return ProxyAction::None;
    list_ = *list;
    if (list_.empty()) {
        forcing_ = false;
        return ProxyAction::Clear;
    }
    return protectionEnabled ? force() : ProxyAction::None;
}

ProxyAction ProxyPolicy::protectionChanged(bool enabled) {
    if (!enabled) return clearIfForcing();
    return list_.empty() ? ProxyAction::None : force();
}

ProxyAction ProxyPolicy::settingsChanged() const { return forcing_ ? ProxyAction::Force : ProxyAction::None; }

ProxyAction ProxyPolicy::stop() { return clearIfForcing(); }

ProxyAction ProxyPolicy::force() {
    forcing_ = true;
    return ProxyAction::Force;
}

ProxyAction ProxyPolicy::clearIfForcing() {
    if (!forcing_) return ProxyAction::None;
    forcing_ = false;
    return ProxyAction::Clear;
}

}  // namespace brisko
