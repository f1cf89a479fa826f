#pragma once
// One-line messages into dated, rotating log files shared by several runner processes. Before a
// log is open, and when none can be opened, messages go to standard error.
#include <windows.h>

enum LogLevel { LOG_LEVEL_DEBUG = 0, LOG_LEVEL_INFO = 1, LOG_LEVEL_WARN = 2, LOG_LEVEL_ERROR = 3 };

struct LogFile {
    HANDLE file;
    int level;
    LONG rotateSeconds;
    SYSTEMTIME lastRotation;
    wchar_t directory[MAX_PATH + 1];
    wchar_t prefix[MAX_PATH + 1];
    wchar_t path[MAX_PATH + 1];
};

// Where the time of log lines and file names comes from; nothing restores the local time.
typedef void (*LogClock)(SYSTEMTIME* now);
void setLogClock(LogClock clock);
void readLogClock(SYSTEMTIME* now);

// The new log, or the standard-error record when the file cannot be created. The first log
// opened becomes the current one.
LogFile* openLog(const wchar_t* directory, const wchar_t* prefix, LONG rotateSeconds);
void setLogLevel(const wchar_t* name);
void closeLog();

// A null log means the current one. Answers the length of the text written, 0 when nothing was.
int logMessage(LogFile* log, int level, BOOL timestamp, const char* sourceFile, int sourceLine, const char* format,
               ...) __attribute__((format(ms_printf, 6, 7)));
// The same with the system's text for the thread's last-error code as the message.
int logSystemMessage(LogFile* log, int level, const char* sourceFile, int sourceLine);

// Writes the system's text for the last-error code and the message to standard error.
void reportError(const char* format, ...) __attribute__((format(ms_printf, 1, 2)));
// A line for the person at the console on standard output; the last-error code stays.
void printMessage(const char* format, ...) __attribute__((format(ms_printf, 1, 2)));

#define LOG_DEBUG(...) logMessage(nullptr, LOG_LEVEL_DEBUG, TRUE, __FILE__, __LINE__, __VA_ARGS__)
#define LOG_INFO(...) logMessage(nullptr, LOG_LEVEL_INFO, TRUE, __FILE__, __LINE__, __VA_ARGS__)
#define LOG_WARN(...) logMessage(nullptr, LOG_LEVEL_WARN, TRUE, __FILE__, __LINE__, __VA_ARGS__)
#define LOG_ERROR(...) logMessage(nullptr, LOG_LEVEL_ERROR, TRUE, __FILE__, __LINE__, __VA_ARGS__)
#define LOG_SYSTEM_ERROR() logSystemMessage(nullptr, LOG_LEVEL_ERROR, __FILE__, __LINE__)
