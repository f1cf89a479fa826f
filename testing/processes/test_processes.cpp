#include "test_processes.h"

#include <winternl.h>
#include <tlhelp32.h>

#include <vector>

namespace brisko::testing {
namespace {

// Calls visit(entry) for every process in a snapshot of the process list.
template <typename Visit>
void forEachProcess(Visit&& visit) {
    const UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = snapshot && ::Process32FirstW(snapshot.get(), &entry); more;
         more = ::Process32NextW(snapshot.get(), &entry))
        visit(entry);
}

bool isChild(const PROCESSENTRY32W& entry, DWORD parentId, std::wstring_view exeName) {
    return entry.th32ParentProcessID == parentId && ::lstrcmpiW(entry.szExeFile, std::wstring(exeName).c_str()) == 0;
}

}  // namespace

ChildProcess::ChildProcess(std::wstring commandLine) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return;
    process_.reset(info.hProcess);
    const UniqueHandle thread(info.hThread);
    id_ = info.dwProcessId;
}

ChildProcess ChildProcess::sibling(std::wstring_view name, std::wstring_view arguments) {
    std::wstring commandLine = L"\"" + siblingPath(name) + L"\"";
    if (!arguments.empty()) commandLine += L" " + std::wstring(arguments);
    return ChildProcess(std::move(commandLine));
}

std::optional<DWORD> ChildProcess::waitForExit(DWORD timeoutMs) const {
    DWORD code = 0;
    if (!process_ || ::WaitForSingleObject(process_.get(), timeoutMs) != WAIT_OBJECT_0 ||
        !::GetExitCodeProcess(process_.get(), &code))
        return std::nullopt;
    return code;
}

void ChildProcess::end() {
    if (!process_) return;
    ::TerminateProcess(process_.get(), 1);
    ::WaitForSingleObject(process_.get(), 30000);
    process_.reset();
}

std::vector<DWORD> childProcesses(std::wstring_view exeName) {
    std::vector<DWORD> children;
    forEachProcess([&](const PROCESSENTRY32W& entry) {
        if (isChild(entry, ::GetCurrentProcessId(), exeName) && processRunning(entry.th32ProcessID))
            children.push_back(entry.th32ProcessID);
    });
    return children;
}

void endChildProcesses(std::initializer_list<std::wstring_view> exeNames) {
    for (const std::wstring_view name : exeNames)
        for (const DWORD processId : childProcesses(name)) endProcess(processId);
}

bool processRunning(DWORD processId) {
    const UniqueHandle process(::OpenProcess(SYNCHRONIZE, FALSE, processId));
    return process && ::WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

DWORD waitForChild(DWORD parentId, std::wstring_view imageName, DWORD timeoutMs) {
    DWORD found = 0;
    pollUntil(
        [&] {
            forEachProcess([&](const PROCESSENTRY32W& entry) {
                if (!found && isChild(entry, parentId, imageName)) found = entry.th32ProcessID;
            });
            return found != 0;
        },
        timeoutMs);
    return found;
}

void endProcess(DWORD processId) {
    const UniqueHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId));
    if (!process) return;
    ::TerminateProcess(process.get(), 1);
    ::WaitForSingleObject(process.get(), 30000);
}

bool pollUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    while (!condition()) {
        if (::GetTickCount64() > end) return false;
        ::Sleep(20);
    }
    return true;
}

std::vector<DWORD> processesNamed(std::wstring_view exeName) {
    std::vector<DWORD> found;
    forEachProcess([&](const PROCESSENTRY32W& entry) {
        if (::lstrcmpiW(entry.szExeFile, std::wstring(exeName).c_str()) == 0) found.push_back(entry.th32ProcessID);
    });
    return found;
}

// One entry of the system's process list: no handle to the process is needed.
std::optional<ProcessFootprint> processFootprint(DWORD processId) {
    ULONG size = 1 << 20;
    std::vector<BYTE> buffer;
    NTSTATUS status = 0;
    do {
        buffer.resize(size);
        status = ::NtQuerySystemInformation(SystemProcessInformation, buffer.data(), size, &size);
        size += 1 << 16;
    } while (status == static_cast<NTSTATUS>(0xC0000004L));  // STATUS_INFO_LENGTH_MISMATCH
    if (status != 0) return std::nullopt;
    for (size_t offset = 0;;) {
        const auto* entry = reinterpret_cast<const SYSTEM_PROCESS_INFORMATION*>(buffer.data() + offset);
        if (reinterpret_cast<ULONG_PTR>(entry->UniqueProcessId) == processId)
            return ProcessFootprint{static_cast<double>(entry->VirtualMemoryCounters.PagefileUsage),
                                    static_cast<double>(entry->VirtualMemoryCounters.WorkingSetSize),
                                    static_cast<double>(entry->HandleCount)};
        if (entry->NextEntryOffset == 0) return std::nullopt;
        offset += entry->NextEntryOffset;
    }
}

}  // namespace brisko::testing
