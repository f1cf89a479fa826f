#pragma once
// Shared by the runner's tests: pools around a test, scratch folders, files read back, and the
// real harbeesrv.exe run as a process with its exit code and standard streams.
#include <windows.h>

#include <shellapi.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "executable_path.h"
#include "foundation/log.h"
#include "foundation/pool.h"
#include "text.h"
#include "unique_handle.h"

namespace runner_test {

// The process-wide pools for the length of one test.
class PoolScope {
public:
    PoolScope() {
        initPools();
        MainPool = createPool();
    }
    ~PoolScope() {
        closeLog();
        releasePools();
    }
    PoolScope(const PoolScope&) = delete;
    PoolScope& operator=(const PoolScope&) = delete;
};

// A fresh folder below the temporary directory, removed with everything in it.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::wstring& name) {
        wchar_t temp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, temp);
        path_ = std::wstring(temp) + name + L"-" + std::to_wstring(::GetCurrentProcessId());
        remove();
        ::CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~ScratchFolder() { remove(); }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::wstring& path() const { return path_; }
    std::wstring file(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    void remove() {
        std::wstring from = path_ + L'\0';
        SHFILEOPSTRUCTW operation{};
        operation.wFunc = FO_DELETE;
        operation.pFrom = from.c_str();
        operation.fFlags = FOF_NO_UI;
        ::SHFileOperationW(&operation);
    }
    std::wstring path_;
};

inline std::string readFile(const std::wstring& path) {
    std::ifstream file(brisko::wideToAnsi(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

inline bool fileExists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

inline std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        result.push_back(line);
    }
    return result;
}

inline std::wstring dateText() {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    wchar_t text[16];
    _snwprintf(text, 16, L"%04d-%02d-%02d", now.wYear, now.wMonth, now.wDay);
    return text;
}

struct ProcessResult {
    DWORD exitCode = 0xFFFFFFFF;
    std::string output;
    std::string error;
    DWORD elapsedMs = 0;
};

using Environment = std::vector<std::pair<std::wstring, std::wstring>>;

// Runs a program with its standard output and error in files; extra variables are added to this
// process's environment. A program that does not end in time is ended and reported as such.
inline ProcessResult runProgram(const std::wstring& program, const std::wstring& arguments,
                                const Environment& environment = {}, DWORD timeoutMs = 120000) {
    static int runs = 0;
    ScratchFolder streams(L"harbee-streams-" + std::to_wstring(++runs));
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    const auto create = [&](const std::wstring& path) {
        return brisko::UniqueFile(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    };
    ProcessResult result;
    {
        brisko::UniqueFile output = create(streams.file(L"stdout"));
        brisko::UniqueFile error = create(streams.file(L"stderr"));
        brisko::UniqueFile input(::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                               OPEN_EXISTING, 0, nullptr));

        std::wstring block;
        if (const wchar_t* own = ::GetEnvironmentStringsW()) {
            for (const wchar_t* entry = own; *entry; entry += std::wcslen(entry) + 1) block += entry + std::wstring(1, L'\0');
            ::FreeEnvironmentStringsW(const_cast<wchar_t*>(own));
        }
        for (const auto& [name, value] : environment) block += name + L"=" + value + std::wstring(1, L'\0');
        block += L'\0';

        std::wstring commandLine = L"\"" + program + L"\"";
        if (!arguments.empty()) commandLine += L" " + arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = input.get();
        startup.hStdOutput = output.get();
        startup.hStdError = error.get();
        PROCESS_INFORMATION info{};
        const ULONGLONG started = ::GetTickCount64();
        if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                              block.data(), nullptr, &startup, &info))
            return result;
        const brisko::UniqueHandle process(info.hProcess);
        const brisko::UniqueHandle thread(info.hThread);
        if (::WaitForSingleObject(process.get(), timeoutMs) != WAIT_OBJECT_0) {
            ::TerminateProcess(process.get(), 0xDEAD);
            ::WaitForSingleObject(process.get(), 30000);
        }
        ::GetExitCodeProcess(process.get(), &result.exitCode);
        result.elapsedMs = static_cast<DWORD>(::GetTickCount64() - started);
    }
    result.output = readFile(streams.file(L"stdout"));
    result.error = readFile(streams.file(L"stderr"));
    return result;
}

inline std::wstring runnerPath() { return brisko::siblingPath(L"harbeesrv.exe"); }

inline ProcessResult runRunner(const std::wstring& arguments, const Environment& environment = {}) {
    return runProgram(runnerPath(), arguments, environment);
}

}  // namespace runner_test
