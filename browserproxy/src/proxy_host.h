#pragma once
// What a proxy list may name: the core's host and port values are checked before they are
// forced on every browser of the machine (by the bridge) or on the user's settings (by the agent).
#include <cstddef>
#include <string_view>

namespace brisko {

// The longest host, in UTF-16 units (the longest DNS name).
constexpr size_t kMaxProxyHostLength = 253;

// A host name (labels of letters, digits, "-" and "_", non-ASCII letters included, joined by
// "."), an IPv4 literal, or an IPv6 literal in brackets; never a list separator, white space or
// a control character, and at most kMaxProxyHostLength units.
bool IsProxyHost(std::wstring_view host);

// 1 to 65535.
bool IsProxyPort(int port);

}  // namespace brisko
