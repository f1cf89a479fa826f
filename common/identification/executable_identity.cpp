#include "identification/executable_identity.h"

#include <tlhelp32.h>

#include <optional>
#include <string>
#include <vector>

#include "identification/version_info.h"
#include "unique_handle.h"

namespace brisko {
namespace {

// Windows 8 and later only, so it is looked up rather than imported.
using GetPackageFamilyNameFunction = LONG(WINAPI*)(HANDLE, UINT32*, PWSTR);

constexpr UINT32 kPackageFamilyNameLength = 260;
// Image paths may be longer than MAX_PATH; this is the longest path Windows accepts.
constexpr DWORD kLongestPath = 32768;

class PackageFamilyNameBinding {
public:
    PackageFamilyNameBinding() {
        UniqueModule kernel(::LoadLibraryW(L"Kernel32.dll"));
        if (!kernel) return;
        const FARPROC entry = ::GetProcAddress(kernel.get(), "GetPackageFamilyName");
        if (entry == nullptr) return;
        function_ = reinterpret_cast<GetPackageFamilyNameFunction>(reinterpret_cast<void (*)()>(entry));
        module_ = std::move(kernel);
    }

    std::optional<std::wstring> familyName(HANDLE process) const {
        if (function_ == nullptr) return std::nullopt;
        wchar_t name[kPackageFamilyNameLength];
        UINT32 length = kPackageFamilyNameLength;
        if (function_(process, &length, name) != ERROR_SUCCESS) return std::nullopt;
        return std::wstring(name);
    }

private:
    UniqueModule module_;
    GetPackageFamilyNameFunction function_ = nullptr;
};

const PackageFamilyNameBinding& packageFamilyNameBinding() {
    static const PackageFamilyNameBinding binding;
    return binding;
}

UniqueHandle openForQuery(DWORD processId) {
    return UniqueHandle(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
}

std::optional<ULONGLONG> creationTime(HANDLE process) {
    FILETIME created, exited, kernel, user;
    if (!::GetProcessTimes(process, &created, &exited, &kernel, &user)) return std::nullopt;
    return (static_cast<ULONGLONG>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

// A snapshot's parent id may name a process that ended and whose id was reused since; such a
// process started after its "child".
bool startedFirst(HANDLE parent, HANDLE child) {
    const std::optional<ULONGLONG> parentCreated = creationTime(parent);
    const std::optional<ULONGLONG> childCreated = creationTime(child);
    return !parentCreated || !childCreated || *parentCreated <= *childCreated;
}

}  // namespace

ApplicationIdentity identifyOpenProcess(HANDLE process, DWORD processId, bool packageOnly) {
    if (std::optional<std::wstring> family = packageFamilyNameBinding().familyName(process))
        return {true, packagedIdentifier(*family), {}};
    if (packageOnly) return {};

    ExecutableNames names = describeExecutable(process);
    if (names.identifier == L"win32:javaw.exe") {
        const DWORD parentId = parentProcessId(processId);
        if (parentId != 0 && parentId != kUnknownProcessId) {
            const UniqueHandle parent = openForQuery(parentId);
            if (parent && startedFirst(parent.get(), process)) {
                ExecutableNames parentNames = describeExecutable(parent.get());
                if (takesParentIdentity(names.identifier, parentNames.identifier)) names = std::move(parentNames);
            }
        }
    }
    return {false, std::move(names.identifier), std::move(names.displayName)};
}

std::optional<ApplicationIdentity> identifyProcessById(DWORD processId, bool packageOnly) {
    const UniqueHandle process = openForQuery(processId);
    if (!process) return std::nullopt;
    return identifyOpenProcess(process.get(), processId, packageOnly);
}

std::wstring processImagePath(HANDLE process) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        DWORD length = static_cast<DWORD>(buffer.size());
        if (::QueryFullProcessImageNameW(process, 0, buffer.data(), &length)) return {buffer.data(), length};
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || buffer.size() >= kLongestPath) return {};
        buffer.resize(buffer.size() * 2);
    }
}

ExecutableNames describeExecutable(HANDLE process) {
    const std::wstring path = processImagePath(process);
    if (path.empty()) return {};

    std::wstring originalFileName, fileDescription, productName;
    if (const std::vector<BYTE> block = readVersionBlock(path); !block.empty()) {
        originalFileName = readVersionString(block.data(), L"OriginalFileName");
        fileDescription = readVersionString(block.data(), L"FileDescription");
        if (fileDescription.empty()) productName = readVersionString(block.data(), L"ProductName");
    }
    return chooseExecutableNames(path, originalFileName, fileDescription, productName);
}

DWORD parentProcessId(DWORD processId) {
    const UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return kUnknownProcessId;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ProcessID == processId) return entry.th32ParentProcessID;
    }
    return kUnknownProcessId;
}

}  // namespace brisko
