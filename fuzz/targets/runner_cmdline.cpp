// The runner's command line, which anyone who may start the program writes: any arguments are
// refused or give a command, a service name and an option table in which every list is packed,
// without empty entries and stored at its true size, and every value comes from the arguments.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "options/cmdline.h"
#include "options/value_syntax.h"
#include "runner_doubles.h"

namespace {

bool fromArguments(const std::wstring& text, const std::vector<std::wstring>& arguments) {
    for (const std::wstring& argument : arguments)
        if (argument.find(text) != std::wstring::npos) return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const bool ownPath = input.flag();
    const std::wstring path = input.wide();
    setFuzzModulePath(ownPath ? path : L"C:\\Program Files\\Harbee\\harbeesrv.x86.exe");
    std::vector<std::wstring> arguments{L"harbeesrv"};
    while (!input.empty() && arguments.size() < 16) arguments.push_back(input.wide().c_str());
    std::vector<wchar_t*> argv;
    for (std::wstring& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);

    // List entries are runs of an argument once its single quotes are dropped.
    std::vector<std::wstring> unquoted;
    for (std::wstring argument : arguments) {
        std::erase(argument, L'\'');
        unquoted.push_back(argument);
    }

    const CommandLine* commandLine = parseCommandLine(static_cast<int>(arguments.size()), argv.data());
    if (commandLine) {
        FUZZ_CHECK(commandLine->command >= COMMAND_RUN && commandLine->command <= COMMAND_VERSION);
        FUZZ_CHECK(commandLine->serviceName && commandLine->exeName && commandLine->exeDir);
        FUZZ_CHECK(std::wcschr(commandLine->exeName, L'\\') == nullptr);
        if (commandLine->serviceName != commandLine->exeName)
            FUZZ_CHECK(*commandLine->serviceName && fromArguments(commandLine->serviceName, arguments));
        for (const OptionEntry* row = commandLine->options; row->name[0]; ++row) {
            if (!(row->flags & OPT_SET)) continue;
            if (row->flags & OPT_MULTI) {
                FUZZ_CHECK(row->numberValue == packedListBytes(row->stringValue));
                for (const wchar_t* entry = row->stringValue; entry && *entry; entry += std::wcslen(entry) + 1)
                    FUZZ_CHECK(fromArguments(entry, unquoted));
            } else if (!(row->flags & OPT_NUMBER) && row->stringValue) {
                FUZZ_CHECK(fromArguments(row->stringValue, arguments));
            }
        }
    }
    releaseFuzzPool();
    return 0;
}
