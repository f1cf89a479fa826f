#pragma once
// The WinINet proxy list the agent forces, built from the core's proxy configuration.
#include <string>

namespace brisko {

// "http=" host ":" port and/or "https=" host ":" port, joined by ";" when both are present; an
// empty host leaves its part out. Ports are decimal, negative ones with a leading "-". The hosts
// are UTF-8 and copied as they are.
std::string BuildProxyList(const std::string& httpHost, int httpPort, const std::string& httpsHost, int httpsPort);

}  // namespace brisko
