#include "options/value_syntax.h"

#include <cwchar>
#include <limits>

#include "foundation/pool.h"

LONG parseNumber(const wchar_t* text) {
    if (!text || !*text) return 0;
    constexpr ULONGLONG Limit = 0x80000000ULL;
    const bool negative = text[0] == L'-';
    ULONGLONG value = 0;
    ULONGLONG scale = 1;
    for (size_t i = std::wcslen(text); i > 0; --i) {
        const wchar_t c = text[i - 1];
        if (c < L'0' || c > L'9') break;
        const unsigned digit = static_cast<unsigned>(c - L'0');
        if (digit) value = scale <= Limit ? value + digit * scale : Limit;
        if (value > Limit) value = Limit;
        if (scale <= Limit) scale *= 10;
    }
    // LONG's own limits: long is LONG's size only where Windows defines it.
    if (negative) return value >= Limit ? std::numeric_limits<LONG>::min() : -static_cast<LONG>(value);
    return value >= Limit ? std::numeric_limits<LONG>::max() : static_cast<LONG>(value);
}

size_t packedListChars(const wchar_t* list) {
    if (!list) return 1;
    size_t chars = 0;
    while (list[chars]) chars += std::wcslen(list + chars) + 1;
    return chars + 1;
}

LONG packedListBytes(const wchar_t* list) {
    const size_t chars = packedListChars(list);
    return static_cast<LONG>((chars < 2 ? 2 : chars) * sizeof(wchar_t));
}

size_t splitListText(const wchar_t* text, wchar_t* out) {
    bool singleQuoted = false;
    bool doubleQuoted = false;
    size_t used = 0;
    size_t entryStart = 0;
    // An empty entry would end the list early for every reader, so none is written.
    const auto endEntry = [&] {
        if (used > entryStart) {
            out[used++] = L'\0';
            entryStart = used;
        }
    };
    for (const wchar_t* c = text ? text : L""; *c; ++c) {
        if (*c == L'\'') {
            singleQuoted = !singleQuoted;
        } else if (*c == L'"') {
            doubleQuoted = !doubleQuoted;
            out[used++] = *c;
        } else if (!singleQuoted && !doubleQuoted && (*c == L'#' || *c == L';')) {
            endEntry();
        } else {
            out[used++] = *c;
        }
    }
    endEntry();
    out[used++] = L'\0';
    return used;
}

namespace {

// Room for the first list's entries and extra characters, zero-filled so two NULs always end it.
wchar_t* startList(Pool* pool, const wchar_t* first, size_t extraChars, size_t* used) {
    const size_t firstChars = packedListChars(first) - 1;
    auto* list = static_cast<wchar_t*>(poolAlloc(pool, (firstChars + extraChars + 2) * sizeof(wchar_t)));
    if (!list) return nullptr;
    if (firstChars) std::wmemcpy(list, first, firstChars);
    *used = firstChars;
    return list;
}

}  // namespace

wchar_t* joinLists(Pool* pool, const wchar_t* first, const wchar_t* second, LONG* bytes) {
    const size_t secondChars = packedListChars(second);
    size_t used = 0;
    wchar_t* list = startList(pool, first, secondChars, &used);
    if (!list) return nullptr;
    if (second) std::wmemcpy(list + used, second, secondChars);
    *bytes = packedListBytes(list);
    return list;
}

wchar_t* appendListText(Pool* pool, const wchar_t* first, const wchar_t* text, LONG* bytes) {
    const size_t textChars = text ? std::wcslen(text) : 0;
    size_t used = 0;
    wchar_t* list = startList(pool, first, textChars + 2, &used);
    if (!list) return nullptr;
    splitListText(text, list + used);
    *bytes = packedListBytes(list);
    return list;
}
