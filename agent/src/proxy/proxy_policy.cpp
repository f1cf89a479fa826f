#include "proxy/proxy_policy.h"

#include "proxy/proxy_list.h"

namespace brisko {

ProxyAction ProxyPolicy::configure(const ProxyConfiguration& configuration, bool protectionEnabled) {
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
