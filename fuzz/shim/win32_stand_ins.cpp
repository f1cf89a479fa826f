// The few Win32 and C library calls the fuzzed files make, with the behaviour the files rely on
// from Windows. Calls a target never reaches (they only have to link) end the run.
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <string>

#include "runner_doubles.h"

namespace {

wint_t lowerAscii(wchar_t unit) { return unit >= L'A' && unit <= L'Z' ? unit - L'A' + L'a' : unit; }

thread_local DWORD lastError = 0;
std::wstring modulePath = L"C:\\Program Files\\Harbee\\harbeesrv.exe";

[[noreturn]] void unreachable(const char* call) {
    std::fprintf(stderr, "fuzz: %s is not reachable from a target\n", call);
    std::abort();
}

// The format with the Microsoft meaning of %s and %S spelt out for the host's wide printf.
std::wstring hostFormat(const wchar_t* format) {
    std::wstring out;
    for (const wchar_t* c = format; *c; ++c) {
        out += *c;
        if (*c != L'%') continue;
        while (c[1] && std::wcschr(L"-+ #0123456789.*", c[1])) out += *++c;
        if (c[1] == L's') {
            out += L"ls";
            ++c;
        } else if (c[1] == L'S') {
            out += L"s";
            ++c;
        } else if (c[1] == L'%') {
            out += *++c;
        }
    }
    return out;
}

}  // namespace

int _wcsicmp(const wchar_t* left, const wchar_t* right) {
    for (;; ++left, ++right) {
        const wint_t l = lowerAscii(*left), r = lowerAscii(*right);
        if (l != r) return l < r ? -1 : 1;
        if (l == 0) return 0;
    }
}

int lstrcmpiW(const wchar_t* left, const wchar_t* right) { return _wcsicmp(left, right); }

LCID GetThreadLocale() { unreachable("GetThreadLocale"); }
BOOL SetThreadLocale(LCID) { unreachable("SetThreadLocale"); }

BOOL IsCharAlphaNumericW(wchar_t unit) { return std::iswalnum(static_cast<wint_t>(unit)) ? TRUE : FALSE; }

void SecureZeroMemory(void* memory, SIZE_T bytes) { explicit_bzero(memory, bytes); }

DWORD GetLastError() { return lastError; }
void SetLastError(DWORD error) { lastError = error; }

void setFuzzModulePath(std::wstring path) { modulePath = std::move(path); }

// As Windows does: a path that does not fit is cut, terminated, and answered with its full size
// (ERROR_INSUFFICIENT_BUFFER).
DWORD GetModuleFileNameW(HMODULE, wchar_t* path, DWORD chars) {
    if (chars == 0) return 0;
    const size_t length = std::wcslen(modulePath.c_str());
    if (length >= chars) {
        std::wmemcpy(path, modulePath.c_str(), chars - 1);
        path[chars - 1] = L'\0';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return chars;
    }
    std::wmemcpy(path, modulePath.c_str(), length + 1);
    return static_cast<DWORD>(length);
}

// No file system here: the long form of a path is the path.
DWORD GetLongPathNameW(const wchar_t* path, wchar_t* longPath, DWORD chars) {
    const size_t length = std::wcslen(path);
    if (length >= chars) return static_cast<DWORD>(length + 1);
    std::wmemmove(longPath, path, length + 1);
    return static_cast<DWORD>(length);
}

DWORD GetEnvironmentVariableW(const wchar_t*, wchar_t*, DWORD) {
    SetLastError(ERROR_ENVVAR_NOT_FOUND);
    return 0;
}

UINT GetSystemDirectoryW(wchar_t*, UINT) { unreachable("GetSystemDirectoryW"); }
BOOL CreateDirectoryW(const wchar_t*, void*) { unreachable("CreateDirectoryW"); }

int _snwprintf(wchar_t* out, size_t count, const wchar_t* format, ...) {
    const std::wstring hostForm = hostFormat(format);
    std::wstring text(256, L'\0');
    int length;
    for (;;) {
        va_list arguments;
        va_start(arguments, format);
        length = std::vswprintf(text.data(), text.size(), hostForm.c_str(), arguments);
        va_end(arguments);
        if (length >= 0) break;
        if (text.size() > (1u << 24)) unreachable("_snwprintf of more than 16 Mi units");
        text.resize(text.size() * 2);
    }
    const auto units = static_cast<size_t>(length);
    if (units > count) {
        std::wmemcpy(out, text.data(), count);
        return -1;
    }
    std::wmemcpy(out, text.data(), units < count ? units + 1 : units);
    return length;
}
