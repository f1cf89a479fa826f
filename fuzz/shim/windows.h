// Stand-in for <windows.h> in the host build of the fuzz targets: the Win32 types, constants and
// declarations that the pure files of the deliverables name, with their Windows meaning. Nothing
// here is called by a target unless win32_stand_ins.cpp defines it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cwchar>

typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef unsigned int UINT;
typedef LONG LSTATUS;
typedef LONG HRESULT;
typedef size_t SIZE_T;
typedef uintptr_t ULONG_PTR;
typedef uintptr_t DWORD_PTR;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef wchar_t WCHAR;
typedef void* HANDLE;
typedef struct HKEY__* HKEY;
typedef struct HWND__* HWND;
typedef struct HICON__* HICON;
typedef struct HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
typedef DWORD REGSAM;
typedef DWORD LCID;
typedef uintptr_t UINT_PTR;
typedef struct SERVICE_STATUS_HANDLE__* SERVICE_STATUS_HANDLE;

struct SERVICE_STATUS {
    DWORD dwServiceType;
    DWORD dwCurrentState;
    DWORD dwControlsAccepted;
    DWORD dwWin32ExitCode;
    DWORD dwServiceSpecificExitCode;
    DWORD dwCheckPoint;
    DWORD dwWaitHint;
};

#define WINAPI
#define CALLBACK
#define TRUE 1
#define FALSE 0
#define MAX_PATH 260
#define INFINITE 0xFFFFFFFFu
#define WM_USER 0x0400

#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_FILENAME_EXCED_RANGE 206L
#define ERROR_ENVVAR_NOT_FOUND 203L
#define ERROR_MORE_DATA 234L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_NO_MORE_ITEMS 259L

#define IS_HIGH_SURROGATE(unit) ((unit) >= 0xD800 && (unit) <= 0xDBFF)
#define IS_LOW_SURROGATE(unit) ((unit) >= 0xDC00 && (unit) <= 0xDFFF)

HANDLE GetProcessHeap();
BOOL HeapFree(HANDLE heap, DWORD flags, void* memory);
void* HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
#define HEAP_ZERO_MEMORY 0x08

// The C library's case-blind comparison, as the C locale has it: ASCII letters only.
int _wcsicmp(const wchar_t* left, const wchar_t* right);

void SecureZeroMemory(void* memory, SIZE_T bytes);

DWORD GetLastError();
LCID GetThreadLocale();
BOOL SetThreadLocale(LCID locale);
void SetLastError(DWORD error);

// Case-blind, as the stand-ins compare: ASCII letters only (Windows knows every script's case).
int lstrcmpiW(const wchar_t* left, const wchar_t* right);
BOOL IsCharAlphaNumericW(wchar_t unit);

DWORD GetModuleFileNameW(HMODULE module, wchar_t* path, DWORD chars);
DWORD GetLongPathNameW(const wchar_t* path, wchar_t* longPath, DWORD chars);
DWORD GetEnvironmentVariableW(const wchar_t* name, wchar_t* value, DWORD chars);
UINT GetSystemDirectoryW(wchar_t* path, UINT chars);
BOOL CreateDirectoryW(const wchar_t* path, void* attributes);

// The Microsoft C library's: %s is a wide string, %S a narrow one; a text that does not fit is
// cut without a terminator and answered with -1, one that just fits gets no terminator either.
int _snwprintf(wchar_t* out, size_t count, const wchar_t* format, ...);

#define CP_ACP 0
#define CP_UTF8 65001
#define MB_ERR_INVALID_CHARS 0x08

int MultiByteToWideChar(UINT codePage, DWORD flags, const char* text, int bytes, wchar_t* out, int units);
int WideCharToMultiByte(UINT codePage, DWORD flags, const wchar_t* text, int units, char* out, int bytes,
                        const char* defaultChar, BOOL* usedDefault);

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};

struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};
