#include "program.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <initializer_list>

#include "foundation/log.h"
#include "foundation/pool.h"
#include "foundation/std_streams.h"
#include "foundation/std_write.h"
#include "options/cmdline.h"
#include "options/value_syntax.h"
#include "registry/configuration.h"
#include "service/service_commands.h"
#include "lifecycle/service_run.h"
#include "usage.h"
#include "version.h"

namespace {

// Indexed by exit code.
constexpr const char* FailureReasons[] = {
    "",
    "parse command line arguments",
    "load configuration",
    "run service as console application",
    "run service",
    "start service",
    "stop service",
    "update service parameters",
    "install service",
    "delete service",
};

void sleepSeconds(LONG seconds) {
    for (ULONGLONG left = seconds > 0 ? static_cast<ULONGLONG>(seconds) * 1000 : 0; left > 0;) {
        const DWORD slice = left > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<DWORD>(left);
        ::Sleep(slice);
        left -= slice;
    }
}

// "//PP//5" sleeps five seconds; "pause 3" three. Answers whether the arguments asked for it.
bool pauseRequested(int argc, wchar_t** argv) {
    if (argc < 2) return false;
    if (std::wcsncmp(argv[1], L"//PP", 4) == 0) {
        sleepSeconds(std::wcslen(argv[1]) >= 7 ? parseNumber(argv[1] + 6) : 0);
        return true;
    }
    if (std::wcscmp(argv[1], L"pause") == 0 && argc > 2 && parseNumber(argv[2]) > 0) {
        sleepSeconds(parseNumber(argv[2]));
        return true;
    }
    return false;
}

bool loadsConfiguration(int command) {
    return command == COMMAND_RUN || command == COMMAND_SERVICE || command == COMMAND_START ||
           command == COMMAND_STOP || command == COMMAND_UPDATE;
}

void announceStandardStreams() {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    for (const DWORD stream : {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
        char line[128];
        const int length =
            std::snprintf(line, sizeof(line), "\n%d-%02d-%02d %02d:%02d:%02d Tamsin Daemon wendrow %s initialized\n",
                          now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                          stream == STD_OUTPUT_HANDLE ? "stdout" : "stderr");
        writeStandardStream(stream, line, static_cast<DWORD>(length));
    }
}

int runCommand(CommandLine* commandLine) {
    switch (commandLine->command) {
    case COMMAND_RUN: return runAsConsole(commandLine) ? EXIT_OK : EXIT_RUN;
    case COMMAND_SERVICE: return runAsService(commandLine) ? EXIT_OK : EXIT_SERVICE;
    case COMMAND_START: return startService(commandLine) ? EXIT_OK : EXIT_START;
    case COMMAND_STOP: return stopService(commandLine) ? EXIT_OK : EXIT_STOP;
    case COMMAND_UPDATE: return updateService(commandLine) ? EXIT_OK : EXIT_UPDATE;
    case COMMAND_INSTALL: return installService(commandLine) ? EXIT_OK : EXIT_INSTALL;
    case COMMAND_DELETE: return deleteService(commandLine) ? EXIT_OK : EXIT_DELETE;
    case COMMAND_HELP: printUsage(commandLine->exeName); return EXIT_OK;
    case COMMAND_VERSION: printVersion(); return EXIT_OK;
    default: return EXIT_PARSE;
    }
}

int runParsed(CommandLine* commandLine) {
    applyEnvironmentOptions(commandLine);
    const int command = commandLine->command;
    if (loadsConfiguration(command) && !loadConfiguration(commandLine) && command != COMMAND_UPDATE) {
        LOG_ERROR("Load configuration failed");
        return EXIT_LOAD_CONFIGURATION;
    }

    openLog(optionString(OPTION_LOG_PATH), optionString(OPTION_LOG_PREFIX), optionNumber(OPTION_ROTATE));
    setLogLevel(optionString(OPTION_LOG_LEVEL));
    LOG_DEBUG("Tamsin Daemon wendrow log initialized");
    if (const LONG rotate = optionNumber(OPTION_ROTATE))
        LOG_DEBUG("Log will rotate each %d seconds.", static_cast<int>(rotate));
    LOG_INFO("Tamsin Daemon wendrow (%s %d-bit) started", RUNNER_VERSION_STRING,
             static_cast<int>(sizeof(void*) * 8));

    // The console runner keeps its streams where the person running it sees them.
    const bool console = command == COMMAND_RUN;
    redirectStandardStreams(optionString(OPTION_LOG_PATH), console ? nullptr : optionString(OPTION_STD_OUTPUT),
                            console ? nullptr : optionString(OPTION_STD_ERROR), commandLine->serviceName);
    if (command == COMMAND_SERVICE) announceStandardStreams();

    const int code = runCommand(commandLine);
    if (code == EXIT_OK) {
        LOG_INFO("Tamsin Daemon wendrow finished");
        return EXIT_OK;
    }
    LOG_ERROR("Tamsin Daemon wendrow failed with exit value: %d (Failed to %s)", code, FailureReasons[code]);
    if (code >= EXIT_RUN && !RunState.runningAsService) reportError("Failed to %s", FailureReasons[code]);
    return code;
}

}  // namespace

int runProgram(int argc, wchar_t** argv) {
    if (pauseRequested(argc, argv)) return EXIT_OK;
    if (!initPools()) return EXIT_PARSE;
    MainPool = createPool();

    int code = EXIT_PARSE;
    CommandLine* commandLine = MainPool ? parseCommandLine(argc, argv) : nullptr;
    if (!commandLine)
        LOG_ERROR("Invalid command line arguments");
    else
        code = runParsed(commandLine);

    poolFree(commandLine);
    RunState.statusHandle = nullptr;
    RunState.runningAsService = FALSE;
    std::fflush(nullptr);
    closeLog();
    releasePools();
    return code;
}
