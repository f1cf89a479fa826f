#pragma once
// The text forms of option values: numbers and lists of strings.
#include <windows.h>

#include <cstddef>

struct Pool;

// Only the trailing run of digits counts, with an optional leading "-": "  10" is 10, "10 " is
// 0, "a12" is 12. Values beyond 32 bits stop at the largest (or smallest) one.
LONG parseNumber(const wchar_t* text);
// A number as a person writes it: blanks around it, an optional "-", then only digits, within 32
// bits. An empty text is 0. FALSE for anything else ("30s", "5m", "a12").
BOOL parseStrictNumber(const wchar_t* text, LONG* value);

// A packed list holds its entries, each ended by a NUL, then one more NUL.
// Characters up to and including the final NUL (1 for the empty list).
size_t packedListChars(const wchar_t* list);
// The byte size a list is stored with; never less than two NULs.
LONG packedListBytes(const wchar_t* list);

// Splits list text into packed entries written to out, which holds wcslen(text) + 2 characters:
// "#" and ";" end an entry outside quotes; a single quote toggles quoting and is dropped; a
// double quote toggles quoting and is kept. Empty entries are left out. Answers the characters
// written.
size_t splitListText(const wchar_t* text, wchar_t* out);

// A new list in the pool: the entries of first (may be null), then those of second (packed),
// or those split from text. bytes receives the stored size.
wchar_t* joinLists(Pool* pool, const wchar_t* first, const wchar_t* second, LONG* bytes);
// The same, leaving out the entries of second that first already holds.
wchar_t* joinNewEntries(Pool* pool, const wchar_t* first, const wchar_t* second, LONG* bytes);
wchar_t* appendListText(Pool* pool, const wchar_t* first, const wchar_t* text, LONG* bytes);
