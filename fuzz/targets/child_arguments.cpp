// A child's command line from the runner's options (StartParams, StopParams, JvmOptions, the
// class path: anything the options hold): quoted by the runner, then split again by the rules
// the child's CommandLineToArgvW and C runtime follow, written out here from their
// documentation. Whatever the arguments hold (blanks, quotes, backslashes at either end), the
// child gets back the program and every argument whole.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "process/child_arguments.h"
#include "process/command_line.h"

namespace {

bool isBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// The program name: up to the next quote when it starts with one, else up to the first blank;
// backslashes are plain characters in it.
std::vector<std::wstring> splitCommandLine(const std::wstring& line) {
    std::vector<std::wstring> argv;
    size_t i = 0;
    std::wstring program;
    if (i < line.size() && line[i] == L'"') {
        for (++i; i < line.size() && line[i] != L'"'; ++i) program += line[i];
        if (i < line.size()) ++i;
    } else {
        for (; i < line.size() && !isBlank(line[i]); ++i) program += line[i];
    }
    argv.push_back(program);

    for (;;) {
        while (i < line.size() && isBlank(line[i])) ++i;
        if (i == line.size()) return argv;
        std::wstring argument;
        bool quoted = false;
        while (i < line.size() && (quoted || !isBlank(line[i]))) {
            if (line[i] == L'\\') {
                size_t backslashes = 0;
                while (i < line.size() && line[i] == L'\\') ++backslashes, ++i;
                // 2n backslashes before a quote are n and the quote toggles quoting; 2n + 1 are n
                // and a literal quote; before anything else they are all literal.
                if (i < line.size() && line[i] == L'"') {
                    argument.append(backslashes / 2, L'\\');
                    if (backslashes % 2) argument += line[i++];
                } else {
                    argument.append(backslashes, L'\\');
                }
            } else if (line[i] == L'"') {
                // Inside quotes, two quotes in a row are one literal quote.
                if (quoted && i + 1 < line.size() && line[i + 1] == L'"') {
                    argument += L'"';
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else {
                argument += line[i++];
            }
        }
        argv.push_back(argument);
    }
}

// A packed list of the given entries (each ended by a NUL, then one more NUL).
std::wstring packed(const std::vector<std::wstring>& entries) {
    std::wstring list;
    for (const std::wstring& entry : entries) list += entry + L'\0';
    return list + L'\0';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const uint8_t form = input.byte();
    // A Windows file name holds no double quote and no NUL.
    std::wstring program = input.wide();
    std::erase(program, L'"');
    std::erase(program, L'\0');
    std::vector<std::wstring> arguments;
    while (!input.empty() && arguments.size() < 12) {
        std::wstring argument = input.wide();
        std::erase(argument, L'\0');
        arguments.push_back(argument);
    }

    if (form & 1) {
        // java.exe's arguments from the options: JVM options, sizes, class path, class, parameters.
        std::vector<std::wstring> options, params;
        for (size_t i = 0; i < arguments.size(); ++i)
            if (!arguments[i].empty()) (i % 2 ? params : options).push_back(arguments[i]);
        const std::wstring className = form & 2 ? L"org.example.Main" : L"";
        const std::wstring classPath = form & 4 ? L"C:\\dir with space\\lib\\" : L"";
        arguments = buildJavaArguments(className.c_str(), packed(options).c_str(), form >> 3 & 1 ? 64 : 0,
                                       form >> 4 & 1 ? -1 : 0, 0, packed(params).c_str(), classPath.c_str());
        FUZZ_CHECK(arguments.size() >= options.size() + params.size());
        FUZZ_CHECK(std::equal(options.begin(), options.end(), arguments.begin()));
        FUZZ_CHECK(std::equal(params.rbegin(), params.rend(), arguments.rbegin()));
    }

    std::vector<std::wstring> expected{program};
    expected.insert(expected.end(), arguments.begin(), arguments.end());
    FUZZ_CHECK(splitCommandLine(buildCommandLine(program, arguments)) == expected);
    for (const std::wstring& argument : arguments)
        FUZZ_CHECK(splitCommandLine(L"x " + quoteCommandLineArgument(argument)).back() == argument);
    return 0;
}
