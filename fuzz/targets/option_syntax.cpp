// The runner's option values, from its command line and the registry: numbers take the trailing
// digits with a leading "-" and stop at the 32-bit limits; list text splits into packed entries
// that fit the buffer the callers give, none of them empty, with every character but the quoting
// and separating ones kept in order; lists join entry for entry with their stored size right.
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "options/value_syntax.h"
#include "runner_doubles.h"

namespace {

LONG expectedNumber(const std::wstring& text) {
    size_t start = text.size();
    while (start > 0 && text[start - 1] >= L'0' && text[start - 1] <= L'9') --start;
    while (start < text.size() && text[start] == L'0') ++start;
    const std::wstring digits = text.substr(start);
    const bool negative = !text.empty() && text[0] == L'-';
    constexpr LONG smallest = std::numeric_limits<LONG>::min(), largest = std::numeric_limits<LONG>::max();
    const long long limit = negative ? -static_cast<long long>(smallest) : largest;
    if (digits.size() > 10) return negative ? smallest : largest;
    long long value = 0;
    for (const wchar_t digit : digits) value = value * 10 + (digit - L'0');
    if (value > limit) value = limit;
    return static_cast<LONG>(negative ? -value : value);
}

// The entries of a packed list.
std::vector<std::wstring> entries(const wchar_t* list) {
    std::vector<std::wstring> out;
    for (const wchar_t* entry = list; entry && *entry; entry += std::wcslen(entry) + 1) out.emplace_back(entry);
    return out;
}

// What list text keeps: all but single quotes and the separators outside quotes.
std::wstring keptCharacters(const std::wstring& text) {
    std::wstring kept;
    bool single = false, dual = false;
    for (const wchar_t c : text) {
        if (c == L'\'') single = !single;
        else if (c == L'"') dual = !dual, kept += c;
        else if (single || dual || (c != L'#' && c != L';')) kept += c;
    }
    return kept;
}

std::vector<std::wstring> split(const std::wstring& text) {
    std::vector<wchar_t> out(text.size() + 2);
    const size_t used = splitListText(text.c_str(), out.data());
    FUZZ_CHECK(used >= 1 && used <= out.size() && out[used - 1] == L'\0');
    FUZZ_CHECK(packedListChars(out.data()) == used);
    return entries(out.data());
}

std::wstring joined(const std::vector<std::wstring>& parts) {
    std::wstring all;
    for (const std::wstring& part : parts) all += part;
    return all;
}

std::vector<std::wstring> concat(std::vector<std::wstring> first, const std::vector<std::wstring>& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const std::wstring number = input.wide(), first = input.wide(), second = input.wide();
    const std::wstring cNumber = number.c_str(), cFirst = first.c_str(), cSecond = second.c_str();

    FUZZ_CHECK(parseNumber(number.c_str()) == expectedNumber(cNumber));

    const std::vector<std::wstring> firstEntries = split(cFirst), secondEntries = split(cSecond);
    for (const std::wstring& entry : firstEntries) FUZZ_CHECK(!entry.empty());
    FUZZ_CHECK(joined(firstEntries) == keptCharacters(cFirst));

    // A stored list in its own block, so that reading past its two NULs is caught.
    std::vector<wchar_t> stored(cFirst.size() + 2);
    splitListText(cFirst.c_str(), stored.data());
    LONG bytes = 0;
    const wchar_t* appended = appendListText(nullptr, stored.data(), cSecond.c_str(), &bytes);
    FUZZ_CHECK(appended && entries(appended) == concat(firstEntries, secondEntries));
    FUZZ_CHECK(bytes == packedListBytes(appended) && bytes >= static_cast<LONG>(2 * sizeof(wchar_t)));

    std::vector<wchar_t> more(cSecond.size() + 2);
    splitListText(cSecond.c_str(), more.data());
    const wchar_t* both = joinLists(nullptr, stored.data(), more.data(), &bytes);
    FUZZ_CHECK(both && entries(both) == concat(firstEntries, secondEntries));
    FUZZ_CHECK(bytes == packedListBytes(both));
    FUZZ_CHECK(entries(joinLists(nullptr, nullptr, nullptr, &bytes)).empty() && bytes == 2 * sizeof(wchar_t));
    releaseFuzzPool();
    return 0;
}
