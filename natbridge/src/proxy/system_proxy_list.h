#pragma once
// The proxy list setSystemProxy hands to the browser policies, from the hosts and ports the core
// names.
#include <optional>
#include <string>

namespace brisko {

// Hosts longer than this (in bytes) are left out of the list, as the empty ones are.
constexpr size_t kMaxProxyHostBytes = 255;
// The longest list, in bytes of its 8-bit form.
constexpr size_t kMaxProxyListLength = 255;

struct SystemProxyList {
    bool refused = false;  // the list would be longer than kMaxProxyListLength: change nothing
    std::wstring list;     // empty when no host is left: remove the policies
};

// "http=" host ":" port, then ";" and "https=" host ":" port, with the hosts in Java's modified
// UTF-8 and the result in UTF-16. A list holding a NUL character is refused as well: the registry
// would store it cut short.
SystemProxyList BuildSystemProxyList(const std::optional<std::string>& httpHost, int httpPort,
                                     const std::optional<std::string>& httpsHost, int httpsPort);

}  // namespace brisko
