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

void writeText(DWORD standardId, const std::wstring& text) {
    const std::string bytes = brisko::wideToUtf8(text);
    std::fflush(standardId == STD_ERROR_HANDLE ? stderr : stdout);
    writeStandardStream(standardId, bytes.data(), static_cast<DWORD>(bytes.size()));
}

}  // namespace

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
    writeText(STD_ERROR_HANDLE, text);
    ::SetLastError(code);
}

void printMessage(const char* format, ...) {
    const DWORD code = ::GetLastError();
    wchar_t message[ReportChars];
    va_list arguments;
    va_start(arguments, format);
    formatWide(message, ReportChars, format, arguments);
    va_end(arguments);
    writeText(STD_OUTPUT_HANDLE, std::wstring(message) + L"\r\n");
    ::SetLastError(code);
}
