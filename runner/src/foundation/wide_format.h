#pragma once
// The runner's messages are formatted wide, so that no character outside the code page is lost,
// from 8-bit format strings with the Microsoft meanings (%s an 8-bit string, %S a UTF-16 one).
#include <windows.h>

#include <cstdarg>
#include <cstddef>
#include <string>

// The format for the wide formatter: every %s, %c, %S and %C spelled with its size (%hs, %hc,
// %ls, %lc), which both formatters read alike; all else as it is.
std::wstring widenFormat(const char* format);

// Formats into out (chars wide characters, NUL included), cutting what does not fit.
void formatWide(wchar_t* out, size_t chars, const char* format, va_list arguments);

// The system's text for an error code without its trailing line end; "Error N" when the system
// has none.
void systemMessage(wchar_t* out, size_t chars, DWORD code);
