#pragma once
// Texts of the agent's string table, in the language Windows picks for the thread.
#include <windows.h>

#include <optional>
#include <string>

#include "notifier.h"

namespace brisko {

// Empty when the table has no such string.
std::wstring loadResourceString(HINSTANCE instance, UINT id);

// The string expanded with its insert ("%1!S!" takes a narrow ANSI text, "%1!d!" a number);
// nothing when the string is missing or expands to nothing. The result is as long as the
// expansion: the places that show it cut it to their own size.
std::optional<std::wstring> formatResourceString(HINSTANCE instance, const ResourceString& string);

}  // namespace brisko
