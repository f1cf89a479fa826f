#include "install_dir.h"

#include <cwctype>

namespace brisko {

std::optional<std::wstring_view> InstallDirFromCommand(const wchar_t* command) {
    if (!command) return std::nullopt;
    std::wstring_view rest(command);
    while (!rest.empty() && std::iswspace(rest.front())) rest.remove_prefix(1);
    if (rest.empty()) return std::nullopt;

    std::wstring_view token = rest;
    if (rest.front() == L'"') {
        rest.remove_prefix(1);
        const size_t closing = rest.find(L'"');
        if (closing == std::wstring_view::npos) return std::nullopt;
        token = rest.substr(0, closing);
    }
    // The token's first code unit is never taken as the separator.
    const size_t separator = token.find_last_of(L"\\/");
    const std::wstring_view directory =
        separator != std::wstring_view::npos && separator > 0 ? token.substr(0, separator + 1) : token;
    if (directory.empty()) return std::nullopt;
    return directory;
}

}  // namespace brisko
