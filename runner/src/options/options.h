#pragma once
// The one table of everything the runner can be told, filled from the command line, the "WR_"
// environment variables and the registry, in that order.
#include <windows.h>

enum OptionFlag : DWORD {
    OPT_NUMBER = 0x0001,
    OPT_STRING = 0x0002,
    OPT_PATH = 0x0004,
    OPT_MULTI = 0x0010,
    OPT_UNSTORED = 0x0020,
    OPT_PARAMETERS = 0x0100,
    OPT_SCM = 0x0200,
    OPT_SET = 0x1000,
    OPT_APPEND = 0x2000,
    // A list set by a "WR_" variable (which appends to the stored list).
    OPT_FROM_ENVIRONMENT = 0x4000,
};

struct OptionEntry {
    const wchar_t* name;
    const wchar_t* valueName;
    const wchar_t* subkey;
    DWORD flags;
    // Strings, or for lists the packed entries (each ended by a NUL, then one more NUL).
    const wchar_t* stringValue;
    // Numbers, or for lists the byte size of stringValue with its NULs.
    LONG numberValue;
};

// Rows in table order.
enum OptionIndex {
    OPTION_DESCRIPTION,
    OPTION_DISPLAY_NAME,
    OPTION_INSTALL,
    OPTION_SERVICE_USER,
    OPTION_SERVICE_PASSWORD,
    OPTION_STARTUP,
    OPTION_TYPE,
    OPTION_DEPENDS_ON,
    OPTION_ENVIRONMENT,
    OPTION_USER,
    OPTION_PASSWORD,
    OPTION_LIBRARY_PATH,
    OPTION_JAVA_HOME,
    OPTION_JVM,
    OPTION_JVM_OPTIONS,
    OPTION_CLASSPATH,
    OPTION_JVM_MS,
    OPTION_JVM_MX,
    OPTION_JVM_SS,
    OPTION_STOP_IMAGE,
    OPTION_STOP_PATH,
    OPTION_STOP_CLASS,
    OPTION_STOP_PARAMS,
    OPTION_STOP_METHOD,
    OPTION_STOP_MODE,
    OPTION_STOP_TIMEOUT,
    OPTION_START_IMAGE,
    OPTION_START_PATH,
    OPTION_START_CLASS,
    OPTION_START_PARAMS,
    OPTION_START_METHOD,
    OPTION_START_MODE,
    OPTION_LOG_PATH,
    OPTION_LOG_PREFIX,
    OPTION_LOG_LEVEL,
    OPTION_STD_ERROR,
    OPTION_STD_OUTPUT,
    OPTION_LOG_JNI_MESSAGES,
    OPTION_PID_FILE,
    OPTION_ROTATE,
    OPTION_COUNT
};

// StopTimeout is in seconds and must fit a wait in milliseconds (below 0x7FFFFFFF).
constexpr LONG LargestStopTimeoutSeconds = 0x7FFFFFFF / 1000;

// OPTION_COUNT rows, then a row whose name is empty.
extern OptionEntry OptionTable[OPTION_COUNT + 1];

// Every row back to its initial state: no value, nothing set.
void resetOptionTable();

const wchar_t* optionString(OptionIndex index);
LONG optionNumber(OptionIndex index);
BOOL optionIsSet(OptionIndex index);
OptionEntry* findOption(const wchar_t* name, size_t length);
