#include "proxy/user_proxy_guard.h"

#include <wininet.h>

#include "system_proxy.h"

namespace brisko {

UserProxyGuard::UserProxyGuard() : watch_([this] { settingsChanged(); }) {}

void UserProxyGuard::configure(const ProxyConfigurationPayload& configuration, bool protectionEnabled) {
    carryOut(policy_.configure(configuration, protectionEnabled));
}

void UserProxyGuard::protectionChanged(bool enabled) { carryOut(policy_.protectionChanged(enabled)); }

void UserProxyGuard::stop() { carryOut(policy_.stop()); }

void UserProxyGuard::settingsChanged() {
    const ProxyAction action = policy_.settingsChanged();
    if (action == ProxyAction::Force) ++rewrites_;
    carryOut(action);
}

void UserProxyGuard::carryOut(ProxyAction action) {
    switch (action) {
        case ProxyAction::Force:
            write(&policy_.proxyList());
            // Armed after the write, so the guard's own write wakes nothing.
            if (watch_.active()) {
                watch_.arm();
            } else {
                watch_.start();
            }
            break;
        case ProxyAction::Clear:
            write(nullptr);
            watch_.stop();
            break;
        case ProxyAction::None:
            break;
    }
}

void UserProxyGuard::write(const std::string* list) {
    // A failed write changes nothing in the user's settings; running clients are told anyway.
    SetUserProxy(list ? list->c_str() : nullptr);
    if (::InternetSetOptionW(nullptr, INTERNET_OPTION_SETTINGS_CHANGED, nullptr, 0))
        ::InternetSetOptionW(nullptr, INTERNET_OPTION_REFRESH, nullptr, 0);
}

}  // namespace brisko
