#include "foundation/wide_format.h"

#include <cstdio>
#include <cstring>
#include <cwchar>

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::wstring widenFormat(const char* format) {
    std::wstring wide;
    const auto copy = [&](char c) { wide += static_cast<wchar_t>(static_cast<unsigned char>(c)); };
    for (const char* c = format ? format : ""; *c; ++c) {
        copy(*c);
        if (*c != '%') continue;
        if (c[1] == '%') {
            copy(*++c);
            continue;
        }
        while (c[1] && std::strchr("-+ #0", c[1])) copy(*++c);
        while (c[1] == '*' || isDigit(c[1])) copy(*++c);
        if (c[1] == '.') {
            copy(*++c);
            while (c[1] == '*' || isDigit(c[1])) copy(*++c);
        }
        bool sized = false;
        while (c[1] && std::strchr("hlwLIjzt", c[1])) {
            sized = true;
            copy(*++c);
            if (*c == 'I')
                while (isDigit(c[1])) copy(*++c);
        }
        const char conversion = c[1];
        if (!conversion) break;
        ++c;
        if (!sized && (conversion == 's' || conversion == 'c')) {
            wide += L'h';
            copy(conversion);
        } else if (!sized && (conversion == 'S' || conversion == 'C')) {
            wide += L'l';
            copy(static_cast<char>(conversion + ('a' - 'A')));
        } else {
            copy(conversion);
        }
    }
    return wide;
}

void formatWide(wchar_t* out, size_t chars, const char* format, va_list arguments) {
    if (!chars) return;
    const int written = _vsnwprintf(out, chars - 1, widenFormat(format).c_str(), arguments);
    if (written < 0 || static_cast<size_t>(written) >= chars - 1) out[chars - 1] = L'\0';
}

void systemMessage(wchar_t* out, size_t chars, DWORD code) {
    if (!chars) return;
    if (!::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, out,
                          static_cast<DWORD>(chars), nullptr))
        _snwprintf(out, chars, L"Error %lu", code);
    out[chars - 1] = L'\0';
    size_t length = std::wcslen(out);
    while (length && (out[length - 1] == L'\n' || out[length - 1] == L'\r')) out[--length] = L'\0';
}
