#pragma once
// Strings of an executable's version resource, in the order of its translation table.
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brisko {

// The language-neutral version block of an executable; empty when it has none.
std::vector<BYTE> readVersionBlock(const std::wstring& path);

// The first non-empty value of key over the block's (language, code page) pairs; empty if none.
std::wstring readVersionString(const void* block, std::wstring_view key);

// "\StringFileInfo\llllcccc\key", or nothing when it would not fit the 64-character query buffer.
std::optional<std::wstring> versionQueryPath(WORD language, WORD codePage, std::wstring_view key);

// A value as VerQueryValueW reports it: its length may or may not count the terminating NUL,
// so the text ends at the first NUL within that length.
std::wstring versionValueText(const wchar_t* value, UINT length);

}  // namespace brisko
