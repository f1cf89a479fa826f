#include "usage.h"

#include <windows.h>

#include <cstdio>
#include <string>

#include "foundation/std_write.h"
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

// To standard output, where a person who asked for them reads them (and a script can take them).
void writeText(const std::wstring& text) {
    const std::string bytes = brisko::wideToUtf8(text);
    writeStandardStream(STD_OUTPUT_HANDLE, bytes.data(), static_cast<DWORD>(bytes.size()));
}

}  // namespace

void printUsage(const wchar_t* exeName) {
    std::wstring text = L"Usage: " + std::wstring(exeName) + L" command [ServiceName] [--options]\n  Commands:\n";
    for (const wchar_t* line : CommandLines) text += line;
    text += L"  Options:\n";
    for (const OptionEntry* row = OptionTable; row->name[0]; ++row) text += L"  --" + std::wstring(row->name) + L"\n";
    writeText(text);
}

void printVersion() {
    wchar_t banner[256];
    _snwprintf(banner, 256, L"Tamsin Daemon Service Runner version %hs/Win%d (%hs)\n", RUNNER_VERSION_STRING,
               static_cast<int>(sizeof(void*) * 8), __DATE__);
    banner[255] = L'\0';
    writeText(banner + brisko::ansiToWide(Notice));
}
