// The invariant locale's lower case where the host has no Windows locale tables: ASCII letters
// only, which is all the checks of the target lean on.
#include "identification/invariant_case.h"

namespace brisko {

std::wstring lowerInvariant(std::wstring_view text) {
    std::wstring lowered(text);
    for (wchar_t& c : lowered)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    return lowered;
}

}  // namespace brisko
