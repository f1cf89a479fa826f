#pragma once
// The WinINet proxy list the agent forces, built from the core's proxy configuration.
#include <optional>
#include <string>
#include <string_view>

#include "core_link/core_protocol.h"

namespace brisko {

// "http=" host ":" port and/or "https=" host ":" port, joined by ";" when both are present; an
// empty host leaves its part out. Ports are decimal, negative ones with a leading "-". The hosts
// are UTF-8 and copied as they are.
std::string BuildProxyList(const std::string& httpHost, int httpPort, const std::string& httpsHost, int httpsPort);

// Whether a host can stand in the list as one host: not UTF-8, or a ";", "=", white space or
// control character (which would end the entry or add one of the host's choosing) is refused.
bool IsAcceptableProxyHost(std::string_view host);

// The configuration's list, or none when the user's settings could not hold it as the core meant
// it: a host refused above, or a list longer than the settings take.
std::optional<std::string> AcceptableProxyList(const ProxyConfiguration& configuration);

}  // namespace brisko
