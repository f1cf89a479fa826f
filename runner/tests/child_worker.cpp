// A worker or stop program for the runner's tests. Its arguments are steps, done in order:
//   --out=HEX, --err=HEX   write those bytes to standard output or error
//   --record=PATH          write the command line, the working directory, HARBEE_TEST_VAR, PATH
//                          and the process id, one per line (UTF-8)
//   --args=PATH            write every argument, this one included, each followed by a NUL
//                          (UTF-8)
//   --touch=PATH           create the file
//   --until-file=PATH      wait until the file exists
//   --until-input-ends     read standard input until it ends
//   --ignore-input         run for ever, whatever happens to standard input
//   --exit=N               end with exit code N (otherwise 0)
#include <windows.h>

#include <cwchar>
#include <fstream>
#include <string>

#include "text.h"

namespace {

std::string decodeHex(const wchar_t* hex) {
    std::string bytes;
    for (size_t i = 0; hex[i] && hex[i + 1]; i += 2) {
        const wchar_t pair[3] = {hex[i], hex[i + 1], 0};
        bytes += static_cast<char>(std::wcstoul(pair, nullptr, 16));
    }
    return bytes;
}

void writeAll(DWORD which, const std::string& bytes) {
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(which), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::wstring variable(const wchar_t* name) {
    wchar_t value[32767];
    const DWORD length = ::GetEnvironmentVariableW(name, value, 32767);
    return length && length < 32767 ? std::wstring(value, length) : L"(none)";
}

void record(const wchar_t* path) {
    wchar_t directory[MAX_PATH];
    ::GetCurrentDirectoryW(MAX_PATH, directory);
    std::ofstream file(brisko::wideToAnsi(path), std::ios::binary);
    for (const std::wstring& line : {std::wstring(::GetCommandLineW()), std::wstring(directory),
                                     variable(L"HARBEE_TEST_VAR"), variable(L"PATH"),
                                     std::to_wstring(::GetCurrentProcessId())})
        file << brisko::wideToUtf8(line) << "\n";
}

bool startsWith(const wchar_t* text, const wchar_t* prefix, const wchar_t** rest) {
    const size_t length = std::wcslen(prefix);
    if (std::wcsncmp(text, prefix, length) != 0) return false;
    *rest = text + length;
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    int exitCode = 0;
    for (int i = 1; i < argc; ++i) {
        const wchar_t* value = nullptr;
        if (startsWith(argv[i], L"--out=", &value)) {
            writeAll(STD_OUTPUT_HANDLE, decodeHex(value));
        } else if (startsWith(argv[i], L"--err=", &value)) {
            writeAll(STD_ERROR_HANDLE, decodeHex(value));
        } else if (startsWith(argv[i], L"--record=", &value)) {
            record(value);
        } else if (startsWith(argv[i], L"--args=", &value)) {
            std::ofstream file(brisko::wideToAnsi(value), std::ios::binary);
            for (int j = 1; j < argc; ++j) file << brisko::wideToUtf8(argv[j]) << '\0';
        } else if (startsWith(argv[i], L"--touch=", &value)) {
            std::ofstream(brisko::wideToAnsi(value)) << "touched\n";
        } else if (startsWith(argv[i], L"--until-file=", &value)) {
            while (::GetFileAttributesW(value) == INVALID_FILE_ATTRIBUTES) ::Sleep(50);
        } else if (std::wcscmp(argv[i], L"--until-input-ends") == 0) {
            char byte;
            DWORD read = 0;
            while (::ReadFile(::GetStdHandle(STD_INPUT_HANDLE), &byte, 1, &read, nullptr) && read) {
            }
        } else if (std::wcscmp(argv[i], L"--ignore-input") == 0) {
            for (;;) ::Sleep(1000);
        } else if (startsWith(argv[i], L"--exit=", &value)) {
            exitCode = static_cast<int>(std::wcstol(value, nullptr, 10));
        }
    }
    return exitCode;
}
