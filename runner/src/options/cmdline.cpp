#include "options/cmdline.h"

#include <cwchar>
#include <initializer_list>

#include "foundation/log.h"
#include "foundation/pool.h"
#include "options/value_syntax.h"

namespace {

constexpr DWORD ModulePathChars = 8192;
constexpr DWORD EnvironmentNameChars = 64;
constexpr DWORD EnvironmentValueChars = 8191;

struct CommandForm {
    const wchar_t* word;
    const wchar_t* code;
};

// Indexed by Command - 1.
constexpr CommandForm Commands[] = {
    {L"run", L"TS"},     {L"service", L"RS"}, {L"start", L"ES"}, {L"stop", L"SS"},     {L"update", L"US"},
    {L"install", L"IS"}, {L"delete", L"DS"},  {L"help", L"?"},   {L"version", L"VS"},
};

// The ways people ask a program for its help, besides "help" and "//?".
bool asksForHelp(const wchar_t* argument) {
    for (const wchar_t* form : {L"-h", L"/?", L"--help"}) {
        if (std::wcscmp(argument, form) == 0) return true;
    }
    return false;
}

// A refused command line points the person at the list of what is understood.
void pointToHelp(const CommandLine* commandLine) {
    ::SetLastError(ERROR_SUCCESS);
    reportError("Run '%S help' for the commands and options.", commandLine->exeName);
}

int findCommand(const wchar_t* text, size_t length, bool shortCode) {
    for (int i = 0; i < static_cast<int>(sizeof(Commands) / sizeof(Commands[0])); ++i) {
        const wchar_t* form = shortCode ? Commands[i].code : Commands[i].word;
        if (std::wcslen(form) == length && std::wcsncmp(form, text, length) == 0) return i + 1;
    }
    return 0;
}

bool endsWithNoCase(const wchar_t* text, size_t length, const wchar_t* suffix) {
    const size_t suffixLength = std::wcslen(suffix);
    return length >= suffixLength && ::lstrcmpiW(text + length - suffixLength, suffix) == 0;
}

BOOL fillExecutablePaths(CommandLine* commandLine) {
    wchar_t modulePath[ModulePathChars];
    const DWORD length = ::GetModuleFileNameW(nullptr, modulePath, ModulePathChars);
    if (length == 0 || length >= ModulePathChars) return FALSE;
    wchar_t longPath[ModulePathChars];
    const DWORD longLength = ::GetLongPathNameW(modulePath, longPath, ModulePathChars);
    commandLine->exePath =
        poolStrdup(MainPool, longLength > 0 && longLength < ModulePathChars ? longPath : modulePath);
    if (!commandLine->exePath) return FALSE;

    wchar_t* lastSeparator = std::wcsrchr(commandLine->exePath, L'\\');
    commandLine->exeName = poolStrdup(MainPool, lastSeparator ? lastSeparator + 1 : commandLine->exePath);
    commandLine->exeDir = poolStrdup(MainPool, commandLine->exePath);
    if (!commandLine->exeName || !commandLine->exeDir) return FALSE;
    if (wchar_t* cut = std::wcsrchr(commandLine->exeDir, L'\\')) *cut = L'\0';

    // harbeesrv.x86.exe and harbeesrv.exe name the same service.
    wchar_t* name = commandLine->exeName;
    size_t nameLength = std::wcslen(name);
    if (endsWithNoCase(name, nameLength, L".EXE")) name[nameLength -= 4] = L'\0';
    for (const wchar_t* suffix : {L".X86", L".X64", L".I64"}) {
        if (endsWithNoCase(name, nameLength, suffix)) {
            name[nameLength -= 4] = L'\0';
            break;
        }
    }
    return TRUE;
}

// A number with anything but digits, or a stop time-out that no wait can hold, is refused rather
// than read as something else.
BOOL readNumberValue(const OptionEntry* row, const wchar_t* value, const wchar_t* source, LONG* number) {
    if (!parseStrictNumber(value, number)) {
        LOG_ERROR("Invalid number '%S' for %S%S", value, source, row->name);
        return FALSE;
    }
    if (row == &OptionTable[OPTION_STOP_TIMEOUT] && (*number < 0 || *number > LargestStopTimeoutSeconds)) {
        LOG_ERROR("Invalid %S%S '%S': seconds from 0 to %d", source, row->name, value,
                  static_cast<int>(LargestStopTimeoutSeconds));
        return FALSE;
    }
    return TRUE;
}

BOOL setOptionValue(OptionEntry* row, const wchar_t* value) {
    if (row->flags & OPT_UNSTORED) return TRUE;
    if (row->flags & OPT_MULTI) {
        LONG bytes = 0;
        wchar_t* list = appendListText(MainPool, row->stringValue, value, &bytes);
        if (!list) return FALSE;
        row->stringValue = list;
        row->numberValue = bytes;
    } else if (row->flags & OPT_NUMBER) {
        LONG number = 0;
        if (!readNumberValue(row, value, L"--", &number)) return FALSE;
        row->numberValue = number;
    } else {
        row->stringValue = value;
    }
    return TRUE;
}

// "--Name=value", "--Name value", and "++" to add to a stored list.
BOOL parseOptions(int argc, wchar_t** argv, int first) {
    for (int i = first; i < argc; ++i) {
        const wchar_t* argument = argv[i];
        const bool append = std::wcsncmp(argument, L"++", 2) == 0;
        if (!append && std::wcsncmp(argument, L"--", 2) != 0) break;
        const wchar_t* name = argument + 2;
        const wchar_t* equals = std::wcschr(name, L'=');
        const wchar_t* value = nullptr;
        if (equals) {
            value = equals + 1;
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            LOG_ERROR("Unrecognized program option %S", argument);
            return FALSE;
        }
        OptionEntry* row = findOption(name, equals ? static_cast<size_t>(equals - name) : std::wcslen(name));
        if (!row) {
            LOG_ERROR("Unrecognized program option %S", argument);
            return FALSE;
        }
        if (append && !(row->flags & OPT_SET)) {
            row->flags |= OPT_APPEND;
        } else if (!append && (row->flags & OPT_APPEND)) {
            row->stringValue = nullptr;
            row->numberValue = 0;
            row->flags &= ~OPT_APPEND;
        }
        if (!setOptionValue(row, value)) return FALSE;
        row->flags |= OPT_SET;
    }
    return TRUE;
}

// "//IS//Name": the code up to the next "/", then the name after any further slashes.
int parseShortForm(const wchar_t* argument, CommandLine* commandLine) {
    const wchar_t* code = argument + 2;
    const wchar_t* codeEnd = std::wcschr(code, L'/');
    const size_t codeLength = codeEnd ? static_cast<size_t>(codeEnd - code) : std::wcslen(code);
    const int command = findCommand(code, codeLength, true);
    if (!command) {
        LOG_ERROR("Unrecognized cmd option %.*S", static_cast<int>(codeLength + 2), argument);
        return 0;
    }
    if (codeEnd) {
        const wchar_t* name = codeEnd;
        while (*name == L'/') ++name;
        if (*name) commandLine->serviceName = name;
    }
    return command;
}

}  // namespace

CommandLine* parseCommandLine(int argc, wchar_t** argv) {
    resetOptionTable();
    auto* commandLine = static_cast<CommandLine*>(poolAlloc(MainPool, sizeof(CommandLine)));
    if (!commandLine) return nullptr;
    commandLine->options = OptionTable;
    if (!fillExecutablePaths(commandLine)) {
        poolFree(commandLine);
        return nullptr;
    }

    int firstOption = 2;
    if (argc >= 2 && asksForHelp(argv[1])) {
        commandLine->command = COMMAND_HELP;
        firstOption = argc;
    } else if (argc < 2 || std::wcslen(argv[1]) <= 2) {
        commandLine->command = COMMAND_RUN;
        firstOption = argc;
    } else if (std::wcsncmp(argv[1], L"//", 2) == 0) {
        commandLine->command = parseShortForm(argv[1], commandLine);
    } else {
        commandLine->command = findCommand(argv[1], std::wcslen(argv[1]), false);
        if (!commandLine->command) {
            LOG_ERROR("Unrecognized cmd option %S", argv[1]);
        } else if (argc > 2 && ::IsCharAlphaNumericW(argv[2][0])) {
            commandLine->serviceName = argv[2];
            firstOption = 3;
        }
    }
    if (!commandLine->command || !parseOptions(argc, argv, firstOption)) {
        pointToHelp(commandLine);
        poolFree(commandLine);
        return nullptr;
    }
    if (!commandLine->serviceName) commandLine->serviceName = commandLine->exeName;
    return commandLine;
}

BOOL applyEnvironmentOptions(CommandLine*) {
    for (OptionEntry* row = OptionTable; row->name[0]; ++row) {
        if (row->flags & OPT_UNSTORED) continue;
        wchar_t name[EnvironmentNameChars];
        _snwprintf(name, EnvironmentNameChars, L"WR_%s", row->name);
        name[EnvironmentNameChars - 1] = L'\0';
        wchar_t value[EnvironmentValueChars];
        ::SetLastError(ERROR_SUCCESS);
        const DWORD length = ::GetEnvironmentVariableW(name, value, EnvironmentValueChars);
        if (length == 0 && ::GetLastError() == ERROR_ENVVAR_NOT_FOUND) continue;
        if (length == 0 && ::GetLastError() != ERROR_SUCCESS) {
            LOG_ERROR("Error geting environment variable %S", name);
            return TRUE;
        }
        // Too long for the buffer (the answer is then the size it needs): the variable is left out.
        if (length >= EnvironmentValueChars) continue;
        if (row->flags & OPT_MULTI) {
            LONG bytes = 0;
            wchar_t* list = appendListText(MainPool, nullptr, value, &bytes);
            if (!list) continue;
            row->stringValue = list;
            row->numberValue = bytes;
            row->flags |= OPT_SET | OPT_APPEND | OPT_FROM_ENVIRONMENT;
        } else if (row->flags & OPT_NUMBER) {
            LONG number = 0;
            if (!readNumberValue(row, value, L"WR_", &number)) return FALSE;
            row->numberValue = number;
            row->flags |= OPT_SET;
        } else {
            wchar_t* copy = poolStrdup(MainPool, value);
            if (!copy) continue;
            row->stringValue = copy;
            row->flags |= OPT_SET;
        }
    }
    return TRUE;
}
