#include "foundation/log_names.h"

#include <cstdio>
#include <cwchar>

#include "foundation/log.h"

namespace {

BOOL createDirectoryOnce(const wchar_t* path) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (::CreateDirectoryW(path, nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS) return TRUE;
    }
    return FALSE;
}

BOOL appendText(wchar_t* out, size_t chars, const wchar_t* text) {
    const size_t used = std::wcslen(out);
    const size_t length = std::wcslen(text);
    if (used + length >= chars) {
        ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return FALSE;
    }
    std::wmemcpy(out + used, text, length + 1);
    return TRUE;
}

BOOL hasTimeOfDay(LONG rotateSeconds) { return rotateSeconds > 0 && rotateSeconds < 86400; }

}  // namespace

BOOL defaultLogDirectory(wchar_t* out, size_t chars) {
    const UINT length = ::GetSystemDirectoryW(out, static_cast<UINT>(chars));
    if (length == 0 || length >= chars) return FALSE;
    return appendText(out, chars, L"\\LogFiles") && createDirectoryOnce(out) && appendText(out, chars, L"\\Ostrel") &&
           createDirectoryOnce(out);
}

BOOL formatLogFileName(wchar_t* out, size_t chars, const wchar_t* prefix, const SYSTEMTIME& time,
                       LONG rotateSeconds, BOOL rotated) {
    const int written =
        hasTimeOfDay(rotateSeconds)
            ? _snwprintf(out, chars, L"\\%s.%04d-%02d-%02d.%02d%02d%02d.log", prefix, time.wYear, time.wMonth,
                         time.wDay, rotated ? time.wHour : 0, rotated ? time.wMinute : 0, rotated ? time.wSecond : 0)
            : _snwprintf(out, chars, L"\\%s.%04d-%02d-%02d.log", prefix, time.wYear, time.wMonth, time.wDay);
    if (written < 0 || static_cast<size_t>(written) >= chars) {
        if (chars) out[0] = L'\0';
        ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return FALSE;
    }
    return TRUE;
}

BOOL logFilePath(const wchar_t* name, const wchar_t* directory, BOOL dated, LONG rotateSeconds, wchar_t* out,
                 size_t chars) {
    out[0] = L'\0';
    if (directory && *directory) {
        if (!appendText(out, chars, directory)) return FALSE;
    } else if (!defaultLogDirectory(out, chars)) {
        return FALSE;
    }
    ::CreateDirectoryW(out, nullptr);
    if (!dated) return appendText(out, chars, L"\\") && appendText(out, chars, name);
    SYSTEMTIME now;
    readLogClock(&now);
    wchar_t fileName[MAX_PATH * 4];
    return formatLogFileName(fileName, sizeof(fileName) / sizeof(fileName[0]), name, now, rotateSeconds, FALSE) &&
           appendText(out, chars, fileName);
}

const char* sourceBaseName(const char* path) {
    if (!path) return "";
    const char* base = path;
    for (const char* c = path; *c; ++c) {
        if (*c == '\\' || *c == '/') base = c + 1;
    }
    return base;
}
