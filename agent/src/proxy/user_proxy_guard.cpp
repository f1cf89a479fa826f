#include "proxy/user_proxy_guard.h"

#include <wininet.h>

#include "proxy/proxy_list.h"
#include "system_proxy.h"

namespace brisko {

void UserProxyGuard::setProxy(const std::string& httpHost, int httpPort, const std::string& httpsHost,
                              int httpsPort, bool protectionEnabled) {
    spec_ = BuildProxyList(httpHost, httpPort, httpsHost, httpsPort);
    if (spec_.empty()) {
        applyProxy(std::nullopt);
        stopProxyWatch();
        return;
    }
    // While protection is disabled the configuration is only kept for when it comes back.
    if (!protectionEnabled) return;
    applyProxy(spec_);
    startProxyWatch();
}

void UserProxyGuard::applyProxy(const std::optional<std::string>& proxy) {
    // A failed write changes nothing in the user's settings; running clients are told anyway.
    SetUserProxy(proxy ? proxy->c_str() : nullptr);
    if (::InternetSetOptionW(nullptr, INTERNET_OPTION_SETTINGS_CHANGED, nullptr, 0))
        ::InternetSetOptionW(nullptr, INTERNET_OPTION_REFRESH, nullptr, 0);
}

void UserProxyGuard::startProxyWatch() {
    if (event_) return;
    ::RegOpenKeyExW(HKEY_CURRENT_USER, kInternetSettingsKey, 0, KEY_NOTIFY, key_.put());
    event_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event_) {
        stopProxyWatch();
        return;
    }
    rearmProxyWatch();
}

void UserProxyGuard::rearmProxyWatch() {
    if (!key_ || !event_) return;
    // The event is manual-reset: clearing it here makes one fired notification lead to one
    // re-application, and the guard's own write (made before this call) wakes nothing.
    ::ResetEvent(event_.get());
    if (::RegNotifyChangeKeyValue(key_.get(), TRUE, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET, event_.get(),
                                  TRUE) != ERROR_SUCCESS)
        stopProxyWatch();
}

void UserProxyGuard::stopProxyWatch() {
    key_.reset();
    event_.reset();
}

}  // namespace brisko
