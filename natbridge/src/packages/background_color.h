#pragma once
// Tile background colours of package manifests, in the COLORREF layout 0x00BBGGRR.
#include <cstdint>
#include <optional>
#include <string_view>

namespace brisko {

inline constexpr std::int32_t kNoBackgroundColor = -1;
// What a manifest whose colour cannot be reached at all reports.
inline constexpr std::int32_t kUnreadableBackgroundColor = 0x00008A;

// The colour of a BackgroundColor attribute value; null stands for a missing value. "#" and at
// least six characters: the first three pairs are red, green and blue; otherwise a colour
// keyword (any case). Everything else, "transparent" included, is kNoBackgroundColor.
std::int32_t BackgroundColorFromValue(const wchar_t* value);

// The colour of a keyword of the CSS extended colour list (any case); none for another name.
std::optional<std::int32_t> ColorKeyword(std::wstring_view name);

// The fixed colour of the system packages that declare no application; none for other families.
std::optional<std::int32_t> SystemPackageColor(std::wstring_view familyName);

}  // namespace brisko
