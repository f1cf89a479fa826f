#pragma once
// The directory part of a browser's command line or executable path, as text only.
#include <optional>
#include <string_view>

namespace brisko {

// The directory, ending with its separator, as a view into command: a quoted first token up to
// its closing quote, else the whole rest of the line (arguments included). None for null or
// blank text, a quote that is never closed, or an empty token.
std::optional<std::wstring_view> InstallDirFromCommand(const wchar_t* command);

}  // namespace brisko
