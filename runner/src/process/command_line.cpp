#include "process/command_line.h"

namespace {

// The blanks that end an argument for the child's parser, and the quote that toggles quoting.
constexpr wchar_t Separators[] = L" \t\n\v\"";

bool hasBlank(const std::wstring& text) { return text.find_first_of(L" \t") != std::wstring::npos; }

}  // namespace

std::wstring quoteCommandLineArgument(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(Separators) == std::wstring::npos) return argument;
    std::wstring quoted(1, L'"');
    size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes are literal unless a quote follows them: then each one needs a partner,
        // and the quote its own backslash.
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        quoted += c;
        backslashes = 0;
    }
    // Before the closing quote as before any other.
    quoted.append(backslashes * 2, L'\\');
    quoted += L'"';
    return quoted;
}

std::wstring buildCommandLine(const std::wstring& program, const std::vector<std::wstring>& arguments) {
    std::wstring commandLine = program.empty() || hasBlank(program) ? L"\"" + program + L"\"" : program;
    for (const std::wstring& argument : arguments) {
        commandLine += L' ';
        commandLine += quoteCommandLineArgument(argument);
    }
    return commandLine;
}
