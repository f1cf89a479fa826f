#pragma once
// The proxy list setSystemProxy hands to the browser policies, from the hosts and ports the core
// names.
#include <optional>
#include <string>
#include <string_view>

namespace brisko {

// "http=" host ":" port, then ";" and "https=" host ":" port; an empty host leaves its part out
// and an empty list removes the policies. None when a given host or its port is not one a proxy
// list may hold (proxy_host.h): then nothing is written.
std::optional<std::wstring> BuildSystemProxyList(std::wstring_view httpHost, int httpPort, std::wstring_view httpsHost,
                                                 int httpsPort);

}  // namespace brisko
