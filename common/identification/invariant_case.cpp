#include "identification/invariant_case.h"

#include <windows.h>

namespace brisko {

std::wstring lowerInvariant(std::wstring_view text) {
    if (text.empty()) return {};
    std::wstring lowered(text.size(), L'\0');
    const int length = static_cast<int>(text.size());
    // LCMAP_LOWERCASE without LCMAP_LINGUISTIC_CASING maps every unit to one unit.
    if (::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_LOWERCASE, text.data(), length, lowered.data(), length, nullptr,
                        nullptr, 0) == length)
        return lowered;
    // Not expected; ASCII letters are then still lowered as they always were.
    lowered.assign(text);
    for (wchar_t& c : lowered)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    return lowered;
}

}  // namespace brisko
