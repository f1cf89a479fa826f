#pragma once
// File names and paths in the log directory.
#include <windows.h>

#include <cstddef>

constexpr wchar_t DefaultLogPrefix[] = L"tamsin-daemon";

// The system directory + "\LogFiles\Ostrel", each level created when missing.
BOOL defaultLogDirectory(wchar_t* out, size_t chars);

// "\prefix.YYYY-MM-DD.log", or with ".hhmmss" before ".log" for an interval below a day. A
// freshly opened file carries the time 000000; a rotated one the rotation's time.
BOOL formatLogFileName(wchar_t* out, size_t chars, const wchar_t* prefix, const SYSTEMTIME& time,
                       LONG rotateSeconds, BOOL rotated);

// A file in the log directory (the given one or the default): dated like a freshly opened log,
// or the name as it is. The directory is created (one level).
BOOL logFilePath(const wchar_t* name, const wchar_t* directory, BOOL dated, LONG rotateSeconds, wchar_t* out,
                 size_t chars);

// The part of a source path after its last "\" or "/".
const char* sourceBaseName(const char* path);
