#pragma once
// Real processes for tests: helper programs built beside the test executable, ended when
// their owner goes.
#include <windows.h>
#include <tlhelp32.h>

#include <optional>
#include <string>
#include <string_view>

#include "executable_path.h"
#include "unique_handle.h"

namespace brisko::testing {

class ChildProcess {
public:
    // commandLine is used as it is; the program is looked up by CreateProcessW.
    explicit ChildProcess(std::wstring commandLine) {
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                              &info))
            return;
        process_.reset(info.hProcess);
        UniqueHandle thread(info.hThread);
        id_ = info.dwProcessId;
    }

    static ChildProcess sibling(std::wstring_view name, std::wstring_view arguments = {}) {
        std::wstring commandLine = L"\"" + siblingPath(name) + L"\"";
        if (!arguments.empty()) commandLine += L" " + std::wstring(arguments);
        return ChildProcess(std::move(commandLine));
    }

    ChildProcess(ChildProcess&&) = default;
    ChildProcess& operator=(ChildProcess&&) = default;
    ~ChildProcess() { end(); }

    explicit operator bool() const { return static_cast<bool>(process_); }
    DWORD id() const { return id_; }

    // The exit code once the process has ended by itself within timeout milliseconds.
    std::optional<DWORD> waitForExit(DWORD timeout = 30000) const {
        DWORD code = 0;
        if (!process_ || ::WaitForSingleObject(process_.get(), timeout) != WAIT_OBJECT_0 ||
            !::GetExitCodeProcess(process_.get(), &code))
            return std::nullopt;
        return code;
    }

    // Ends the process and waits until it is gone.
    void end() {
        if (!process_) return;
        ::TerminateProcess(process_.get(), 1);
        ::WaitForSingleObject(process_.get(), 30000);
        process_.reset();
    }

private:
    UniqueHandle process_;
    DWORD id_ = 0;
};

// The first process whose parent is parentId and whose image is named imageName, polled for
// up to timeout milliseconds; 0 when none appears.
inline DWORD waitForChild(DWORD parentId, std::wstring_view imageName, DWORD timeout = 30000) {
    const std::wstring name(imageName);
    const ULONGLONG deadline = ::GetTickCount64() + timeout;
    do {
        const UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
        PROCESSENTRY32W entry{};
        entry.dwSize = sizeof(entry);
        for (BOOL more = snapshot && ::Process32FirstW(snapshot.get(), &entry); more;
             more = ::Process32NextW(snapshot.get(), &entry)) {
            if (entry.th32ParentProcessID == parentId && ::lstrcmpiW(entry.szExeFile, name.c_str()) == 0)
                return entry.th32ProcessID;
        }
        ::Sleep(50);
    } while (::GetTickCount64() < deadline);
    return 0;
}

// Ends a process found by id, for processes the tests did not start themselves.
inline void endProcess(DWORD processId) {
    const UniqueHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId));
    if (!process) return;
    ::TerminateProcess(process.get(), 1);
    ::WaitForSingleObject(process.get(), 30000);
}

}  // namespace brisko::testing
