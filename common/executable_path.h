#pragma once
// Where the running program lives, and the files that sit beside it.
#include <windows.h>

#include <string>
#include <string_view>

namespace brisko {

inline std::wstring executablePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);  // truncated: long paths need a larger buffer
    }
}

inline std::wstring siblingPath(std::wstring_view fileName) {
    const std::wstring own = executablePath();
    return own.substr(0, own.find_last_of(L"\\/") + 1) + std::wstring(fileName);
}

}  // namespace brisko
