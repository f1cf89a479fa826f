#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "foundation/log.h"
#include "foundation/std_write.h"

namespace {
constexpr size_t ReportBytes = 8192;
}

// The system's text, a line end, the message, and a line end when the message has none, so that
// reports written one after the other stay on lines of their own.
void reportError(const char* format, ...) {
    const DWORD code = ::GetLastError();
    char text[ReportBytes + 3] = "";
    if (code != 0 &&
        ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                         ReportBytes / 2, nullptr) == 0)
        _snprintf(text, ReportBytes / 2, "Error %lu", code);
    size_t length = std::strlen(text);
    while (length && (text[length - 1] == '\n' || text[length - 1] == '\r')) text[--length] = '\0';
    std::strcat(text, "\r\n");
    length += 2;
    if (format) {
        va_list arguments;
        va_start(arguments, format);
        _vsnprintf(text + length, ReportBytes - length, format, arguments);
        va_end(arguments);
        text[ReportBytes] = '\0';
        length = std::strlen(text);
        if (text[length - 1] != '\n') std::strcat(text, "\r\n");
    }
    std::fflush(stderr);
    writeStandardStream(STD_ERROR_HANDLE, text, static_cast<DWORD>(std::strlen(text)));
    ::SetLastError(code);
}
