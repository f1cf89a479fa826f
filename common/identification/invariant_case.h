#pragma once
// Lower case by the full Unicode rules of the invariant locale, so an identifier does not depend
// on the user's language settings.
#include <string>
#include <string_view>

namespace brisko {

// Keeps the length: the invariant mapping is one UTF-16 unit for one.
std::wstring lowerInvariant(std::wstring_view text);

}  // namespace brisko
