#pragma once
// Every conversion between UTF-16 and 8-bit text goes through here.
#include <optional>
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
// None when the text is not well-formed UTF-8, where utf8ToWide would substitute U+FFFD.
inline std::optional<std::wstring> strictUtf8ToWide(std::string_view text) {
    if (text.empty()) return std::wstring();
    const int size = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0);
    if (size <= 0) return std::nullopt;
    std::wstring result(static_cast<size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), result.data(),
                          size);
    return result;
}
inline std::string wideToUtf8(std::wstring_view text) { return toNarrow(text, CP_UTF8); }
inline std::wstring ansiToWide(std::string_view text) { return toWide(text, CP_ACP); }
inline std::string wideToAnsi(std::wstring_view text) { return toNarrow(text, CP_ACP); }

// Java's modified UTF-8, the 8-bit form of JNI strings: each UTF-16 unit is encoded on its own
// (a surrogate pair becomes two 3-byte sequences) and NUL is the two bytes C0 80.
inline std::string wideToModifiedUtf8(std::wstring_view text) {
    std::string result;
    result.reserve(text.size());
    for (const wchar_t unit : text) {
        const auto c = static_cast<unsigned>(static_cast<char16_t>(unit));
        if (c != 0 && c < 0x80) {
            result += static_cast<char>(c);
        } else if (c < 0x800) {
            result += static_cast<char>(0xC0 | (c >> 6));
            result += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            result += static_cast<char>(0xE0 | (c >> 12));
            result += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            result += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return result;
}

// A malformed sequence gives U+FFFD for its first byte; decoding goes on after it.
inline std::wstring modifiedUtf8ToWide(std::string_view text) {
    std::wstring result;
    result.reserve(text.size());
    const auto byte = [&](size_t i) { return static_cast<unsigned>(static_cast<unsigned char>(text[i])); };
    const auto continuation = [&](size_t i) { return i < text.size() && (byte(i) & 0xC0) == 0x80; };
    for (size_t i = 0; i < text.size();) {
        const unsigned b = byte(i);
        if (b < 0x80) {
            result += static_cast<wchar_t>(b);
            i += 1;
        } else if ((b & 0xE0) == 0xC0 && continuation(i + 1)) {
            result += static_cast<wchar_t>(((b & 0x1F) << 6) | (byte(i + 1) & 0x3F));
            i += 2;
        } else if ((b & 0xF0) == 0xE0 && continuation(i + 1) && continuation(i + 2)) {
            result += static_cast<wchar_t>(((b & 0x0F) << 12) | ((byte(i + 1) & 0x3F) << 6) | (byte(i + 2) & 0x3F));
            i += 3;
        } else {
            result += L'\xFFFD';
            i += 1;
        }
    }
    return result;
}

}  // namespace brisko
