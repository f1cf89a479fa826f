// The package code's French lower case, as the product has it where the C runtime has no French:
// ASCII letters only (the host's C library has no Microsoft locale objects).
#include "packages/package_locale.h"

namespace brisko {

wchar_t FrenchLower(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

}  // namespace brisko
