#include "foundation/log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <new>
#include <string>

#include "foundation/log_names.h"
#include "foundation/wide_format.h"
#include "text.h"

namespace {

constexpr size_t MessageChars = 1024;
constexpr DWORD HeadLockBytes = 512;
constexpr int HeadLockAttempts = 1000;
constexpr DWORD HeadLockRetryMs = 10;

constexpr const char* LevelTags[] = {"[debug] ", "[info]  ", "[warn]  ", "[error] "};

// Every write of the process passes this lock; between processes the head of the file is locked.
SRWLOCK LogLock = SRWLOCK_INIT;
LogFile* CurrentLog = nullptr;
// Messages before a log is open go to standard error, from warnings up.
LogFile StandardErrorLog = {nullptr, LOG_LEVEL_WARN, 0, {}, {}, {}, {}};
LogClock Clock = nullptr;

bool isRealLog(const LogFile* log) { return log != &StandardErrorLog; }

HANDLE openLogFileHandle(const wchar_t* path) {
    return ::CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

// Another runner process holding the head for about ten seconds is given up on: the line is
// written anyway rather than lost.
bool lockHead(HANDLE file) {
    for (int attempt = 0; attempt < HeadLockAttempts; ++attempt) {
        OVERLAPPED head{};
        if (::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, HeadLockBytes, 0, &head))
            return true;
        ::Sleep(HeadLockRetryMs);
    }
    return false;
}

void unlockHead(HANDLE file) {
    OVERLAPPED head{};
    ::UnlockFileEx(file, 0, HeadLockBytes, 0, &head);
}

LONGLONG secondsBetween(const SYSTEMTIME& from, const SYSTEMTIME& to) {
    FILETIME a, b;
    if (!::SystemTimeToFileTime(&from, &a) || !::SystemTimeToFileTime(&to, &b)) return 0;
    const auto value = [](const FILETIME& t) {
        return static_cast<LONGLONG>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    };
    return (value(b) - value(a)) / 10000000;
}

BOOL buildLogPath(wchar_t* out, const wchar_t* directory, const wchar_t* prefix, const SYSTEMTIME& time,
                  LONG rotateSeconds, BOOL rotated) {
    wchar_t name[MAX_PATH + 1];
    if (!formatLogFileName(name, MAX_PATH + 1, prefix, time, rotateSeconds, rotated)) return FALSE;
    const int written = _snwprintf(out, MAX_PATH + 1, L"%s%s", directory, name);
    if (written < 0 || written > MAX_PATH) {
        ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return FALSE;
    }
    return TRUE;
}

// Runs with the head of the current file locked; the new file's head is locked before the old
// one's is released, so a line never lands in a file no one holds.
void rotateIfDue(LogFile* log, const SYSTEMTIME& now) {
    if (log->rotateSeconds <= 0 || secondsBetween(log->lastRotation, now) < log->rotateSeconds) return;
    log->lastRotation = now;
    wchar_t path[MAX_PATH + 1];
    if (!buildLogPath(path, log->directory, log->prefix, now, log->rotateSeconds, TRUE)) return;
    const HANDLE file = openLogFileHandle(path);
    if (file == INVALID_HANDLE_VALUE) return;
    lockHead(file);
    ::SetFilePointer(file, 0, nullptr, FILE_END);
    unlockHead(log->file);
    ::CloseHandle(log->file);
    log->file = file;
    std::wcscpy(log->path, path);
}

void stripLineEnd(wchar_t* text) {
    size_t length = std::wcslen(text);
    if (length && text[length - 1] == L'\n') text[--length] = L'\0';
    if (length && text[length - 1] == L'\r') text[--length] = L'\0';
}

void systemText(wchar_t* out, DWORD code, int level, const char* sourceBase, int sourceLine) {
    if (code == 0) {
        if (level == LOG_LEVEL_ERROR)
            _snwprintf(out, MessageChars, L"Unknown error code occured in (%hs:%d) ", sourceBase, sourceLine);
        else
            _snwprintf(out, MessageChars, L"Unknown error code");
        out[MessageChars] = L'\0';
    } else {
        systemMessage(out, MessageChars + 1, code);
    }
}

// "[time] [tag] (source:line) [thread] text\r\n"; the source only in a debug-level log. Every
// line is UTF-8, so no character of the text is lost whatever the code page.
std::string composeLine(const SYSTEMTIME& now, BOOL timestamp, int level, int logLevel, const char* sourceBase,
                        int sourceLine, const wchar_t* text) {
    wchar_t head[128];
    int length = 0;
    const auto append = [&](const wchar_t* format, auto... values) {
        const int room = static_cast<int>(sizeof(head) / sizeof(head[0])) - length;
        const int added = _snwprintf(head + length, room, format, values...);
        length += added < 0 || added >= room ? room - 1 : added;
        head[length] = L'\0';
    };
    head[0] = L'\0';
    if (timestamp)
        append(L"[%d-%02d-%02d %02d:%02d:%02d] ", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
               now.wSecond);
    const int tag = level < LOG_LEVEL_DEBUG ? LOG_LEVEL_DEBUG : level > LOG_LEVEL_ERROR ? LOG_LEVEL_ERROR : level;
    append(L"%hs", LevelTags[tag]);
    if (logLevel == LOG_LEVEL_DEBUG && sourceBase) append(L"(%10hs:%-4d) ", sourceBase, sourceLine);
    append(L"[%5lu] ", ::GetCurrentThreadId());
    return brisko::wideToUtf8(std::wstring(head) + text + L"\r\n");
}

// One write per line, so a reader never sees part of another writer's line.
bool writeLine(LogFile* target, int level, BOOL timestamp, const char* sourceBase, int sourceLine,
               const wchar_t* text) {
    // The standard-error record follows whatever standard error is now: redirection replaces it.
    const HANDLE file = isRealLog(target) ? target->file : ::GetStdHandle(STD_ERROR_HANDLE);
    if (!file || file == INVALID_HANDLE_VALUE) return false;
    ::SetFilePointer(file, 0, nullptr, FILE_END);
    SYSTEMTIME now;
    readLogClock(&now);
    bool locked = false;
    if (isRealLog(target)) {
        locked = lockHead(target->file);
        ::SetFilePointer(target->file, 0, nullptr, FILE_END);
        rotateIfDue(target, now);
    }
    const std::string line = composeLine(now, timestamp, level, target->level, sourceBase, sourceLine, text);
    DWORD done = 0;
    const bool written = ::WriteFile(isRealLog(target) ? target->file : file, line.data(),
                                     static_cast<DWORD>(line.size()), &done, nullptr) != FALSE;
    if (isRealLog(target)) {
        if (level != LOG_LEVEL_DEBUG) ::FlushFileBuffers(target->file);
        if (locked) unlockHead(target->file);
    }
    return written;
}

int writeMessage(LogFile* log, int level, BOOL timestamp, const char* sourceFile, int sourceLine, const char* format,
                 va_list arguments) {
    const DWORD keptError = ::GetLastError();
    // The current log is looked up under the lock: closeLog frees it under the same lock.
    ::AcquireSRWLockExclusive(&LogLock);
    LogFile* target = log ? log : CurrentLog ? CurrentLog : &StandardErrorLog;
    if (level < target->level) {
        ::ReleaseSRWLockExclusive(&LogLock);
        ::SetLastError(keptError);
        return 0;
    }
    const char* sourceBase = nullptr;
    if (sourceFile && (target->level == LOG_LEVEL_DEBUG || level == LOG_LEVEL_ERROR))
        sourceBase = sourceBaseName(sourceFile);
    wchar_t text[MessageChars + 1];
    if (format)
        formatWide(text, MessageChars + 1, format, arguments);
    else
        systemText(text, keptError, level, sourceBase ? sourceBase : "", sourceLine);
    stripLineEnd(text);
    const bool written = writeLine(target, level, timestamp, sourceBase, sourceLine, text);
    ::ReleaseSRWLockExclusive(&LogLock);
    ::SetLastError(keptError);

    // The system's reason follows an error message on a line of its own.
    if (format && keptError != 0 && level == LOG_LEVEL_ERROR) {
        va_list none{};
        writeMessage(log, LOG_LEVEL_ERROR, timestamp, sourceFile, sourceLine, nullptr, none);
    }
    return written ? static_cast<int>(std::wcslen(text)) : 0;
}

}  // namespace

void setLogClock(LogClock clock) { Clock = clock; }

void readLogClock(SYSTEMTIME* now) {
    if (Clock)
        Clock(now);
    else
        ::GetLocalTime(now);
}

LogFile* openLog(const wchar_t* directory, const wchar_t* prefix, LONG rotateSeconds) {
    SYSTEMTIME now;
    readLogClock(&now);
    wchar_t folder[MAX_PATH + 1];
    if (directory && *directory) {
        if (std::wcslen(directory) > MAX_PATH) {
            ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
            reportError("Unable to create logger at '%S'\n", directory);
            return &StandardErrorLog;
        }
        std::wcscpy(folder, directory);
    } else if (!defaultLogDirectory(folder, MAX_PATH + 1)) {
        reportError("Unable to create logger at '%S'\n", folder);
        return &StandardErrorLog;
    }
    if (!prefix || !*prefix) prefix = DefaultLogPrefix;
    if (std::wcslen(prefix) > MAX_PATH) {
        ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
        reportError("Unable to create logger at '%S'\n", folder);
        return &StandardErrorLog;
    }
    // Not from a pool: the pools report their own failures through the log.
    auto* log = new (std::nothrow) LogFile{};
    if (!log) {
        reportError("Unable to create logger at '%S'\n", folder);
        return &StandardErrorLog;
    }
    std::wcscpy(log->directory, folder);
    std::wcscpy(log->prefix, prefix);
    log->level = LOG_LEVEL_INFO;
    log->rotateSeconds = rotateSeconds;
    log->lastRotation = now;
    if (!buildLogPath(log->path, log->directory, log->prefix, now, rotateSeconds, FALSE)) {
        reportError("Unable to create logger at '%S'\n", folder);
        delete log;
        return &StandardErrorLog;
    }
    ::CreateDirectoryW(log->directory, nullptr);
    log->file = openLogFileHandle(log->path);
    if (log->file == INVALID_HANDLE_VALUE) {
        reportError("Unable to create logger at '%S'\n", log->path);
        delete log;
        return &StandardErrorLog;
    }
    ::AcquireSRWLockExclusive(&LogLock);
    if (!CurrentLog) CurrentLog = log;
    ::ReleaseSRWLockExclusive(&LogLock);
    return log;
}

void setLogLevel(const wchar_t* name) {
    static constexpr const wchar_t* Names[] = {L"debug", L"info", L"warn", L"error"};
    if (!CurrentLog || !name) return;
    for (int level = LOG_LEVEL_DEBUG; level <= LOG_LEVEL_ERROR; ++level) {
        if (::lstrcmpiW(name, Names[level]) == 0) CurrentLog->level = level;
    }
}

void closeLog() {
    ::AcquireSRWLockExclusive(&LogLock);
    if (LogFile* log = CurrentLog) {
        CurrentLog = nullptr;
        ::FlushFileBuffers(log->file);
        ::CloseHandle(log->file);
        delete log;
    }
    ::ReleaseSRWLockExclusive(&LogLock);
}

int logMessage(LogFile* log, int level, BOOL timestamp, const char* sourceFile, int sourceLine, const char* format,
               ...) {
    va_list arguments;
    va_start(arguments, format);
    const int written = writeMessage(log, level, timestamp, sourceFile, sourceLine, format, arguments);
    va_end(arguments);
    return written;
}

int logSystemMessage(LogFile* log, int level, const char* sourceFile, int sourceLine) {
    va_list none{};
    return writeMessage(log, level, TRUE, sourceFile, sourceLine, nullptr, none);
}
