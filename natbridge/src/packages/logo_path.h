#pragma once
// Where a package's logo may be looked for: only below the package's install folder, whatever
// the manifest or the package's resource index names.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brisko {

// The longest path Windows opens, in UTF-16 units; a longer logo value is refused unread.
constexpr size_t kMaxLogoPathLength = 32767;

// The full path of a logo that the manifest or the resource index names: a relative one below
// the install folder, "." and ".." resolved and "/" turned into "\". None when the result is not
// inside the install folder, when either is a UNC, device ("\\.\"), "\\?\", rooted or
// drive-relative path, or when a part of it names a stream (":"), a reserved device (NUL,
// COM1...), holds a wildcard or control character, ends with a dot or space (which Windows
// strips, so another name would be opened) or the path is longer than kMaxLogoPathLength.
std::optional<std::wstring> ContainedLogoPath(std::wstring_view installLocation, std::wstring_view logo);

// The files that stand for a logo value ("Assets\Logo.png") when the resource index cannot say,
// in the order they are tried, each in the folder of the value: the value itself; the scale
// variants 100, 125, 150, 200 and 400 ("Logo.scale-100.png"); the target sizes 16, 24, 32, 48
// and 256 ("Logo.targetsize-16.png"); then all of these again in the contrast folders (standard,
// high, black, white: "contrast-high\") and the language folders fr-FR, fr, en-US and en.
std::vector<std::wstring> LogoCandidates(std::wstring_view logo);

}  // namespace brisko
