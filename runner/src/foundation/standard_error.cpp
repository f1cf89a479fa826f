#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <string>

#include "foundation/log.h"
#include "foundation/std_write.h"
#include "foundation/wide_format.h"
#include "text.h"

namespace {
constexpr size_t ReportChars = 4096;
}

// The system's text on a line of its own (none when the code is 0), then the message, each
// ended by a line end, in UTF-8 like the log's lines.
void reportError(const char* format, ...) {
    const DWORD code = ::GetLastError();
    std::wstring text;
    if (code != 0) {
        wchar_t system[ReportChars];
        systemMessage(system, ReportChars, code);
        text = std::wstring(system) + L"\r\n";
    }
    if (format) {
        wchar_t message[ReportChars];
        va_list arguments;
        va_start(arguments, format);
        formatWide(message, ReportChars, format, arguments);
        va_end(arguments);
        text += message;
        if (text.empty() || text.back() != L'\n') text += L"\r\n";
    }
    const std::string bytes = brisko::wideToUtf8(text);
    std::fflush(stderr);
    writeStandardStream(STD_ERROR_HANDLE, bytes.data(), static_cast<DWORD>(bytes.size()));
    ::SetLastError(code);
}
