#pragma once
// Every conversion between UTF-16 and 8-bit text goes through here.
#include <string>
#include <string_view>

#include <windows.h>

namespace brisko {

inline std::wstring toWide(std::string_view text, UINT codePage) {
    if (text.empty()) return {};
    const int size = ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (size <= 0) return {};
    std::wstring result(static_cast<size_t>(size), L'\0');
    ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), result.data(), size);
    return result;
}

inline std::string toNarrow(std::wstring_view text, UINT codePage) {
    if (text.empty()) return {};
    const int size = ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    if (size <= 0) return {};
    std::string result(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), result.data(), size, nullptr,
                          nullptr);
    return result;
}

inline std::wstring utf8ToWide(std::string_view text) { return toWide(text, CP_UTF8); }
inline std::string wideToUtf8(std::wstring_view text) { return toNarrow(text, CP_UTF8); }
inline std::wstring ansiToWide(std::string_view text) { return toWide(text, CP_ACP); }
inline std::string wideToAnsi(std::wstring_view text) { return toNarrow(text, CP_ACP); }

}  // namespace brisko
