#include "usage.h"

#include <windows.h>

#include <cstdio>

#include "options/options.h"
#include "text.h"
#include "version.h"

namespace {

constexpr const wchar_t* CommandLines[] = {
    L"  help                   This page\n",
    L"  install [ServiceName]  Install Service\n",
    L"  update  [ServiceName]  Update Service parameters\n",
    L"  delete  [ServiceName]  Delete Service\n",
    L"  start   [ServiceName]  Start Service\n",
    L"  stop    [ServiceName]  Stop Service\n",
    L"  run     [ServiceName]  Run Service as console application\n",
    L"  pause   [Num Seconds]  Sleep for n Seconds (defaults to 60)\n",
    L"  version                Display version\n",
};

constexpr char Notice[] =
    "Runs a Java application, or another program, as a Windows service.\n"
    "Part of Corvel Harbee Juvo. Copyright (c) Corvel.\n";

// Standard error may be a file in binary mode by now: lines go out as 8-bit text.
void writeLine(const wchar_t* line) { std::fputs(brisko::wideToAnsi(line).c_str(), stderr); }

void writeLine(const wchar_t* format, const wchar_t* value) {
    wchar_t line[512];
    _snwprintf(line, 512, format, value);
    line[511] = L'\0';
    writeLine(line);
}

}  // namespace

void printUsage(const wchar_t* exeName) {
    writeLine(L"Usage: %s command [ServiceName] [--options]\n", exeName);
    writeLine(L"  Commands:\n");
    for (const wchar_t* line : CommandLines) writeLine(line);
    writeLine(L"  Options:\n");
    for (const OptionEntry* row = OptionTable; row->name[0]; ++row) writeLine(L"  --%s\n", row->name);
    std::fflush(stderr);
}

void printVersion() {
    std::fprintf(stderr, "Tamsin Daemon Service Runner version %s/Win%d (%s)\n", RUNNER_VERSION_STRING,
                 static_cast<int>(sizeof(void*) * 8), __DATE__);
    std::fputs(Notice, stderr);
    std::fflush(stderr);
}
