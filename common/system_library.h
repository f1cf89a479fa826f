#pragma once
// System DLLs loaded by name come from the system folder only. The standard search order looks
// in the calling program's folder first: a setup program's is often Downloads, where a DLL of
// the same name would run its code inside an elevated installer or the LocalSystem service.
#include <windows.h>

#include <string>

#include "proc_address.h"

namespace brisko {

// The system folder's copy of name (a plain file name such as L"wtsapi32.dll") by its full path;
// its own imports are looked up from the system folder first as well.
inline HMODULE LoadSystemLibraryByPath(const wchar_t* name) {
    wchar_t folder[MAX_PATH];
    const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    const std::wstring path = std::wstring(folder, length) + L"\\" + name;
    return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// Null, with the loader's error, when the system folder has no such DLL.
inline HMODULE LoadSystemLibrary(const wchar_t* name) {
    if (const HMODULE module = ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) return module;
    // Windows 7 without KB2533623 refuses the flag; the full path comes to the same there.
    if (::GetLastError() != ERROR_INVALID_PARAMETER) return nullptr;
    return LoadSystemLibraryByPath(name);
}

// An entry point of a system DLL, or null (with the error in the thread's last-error code). A
// module that has it stays loaded for good; one that lacks it is freed again.
template <typename Function>
Function SystemProcAddress(const wchar_t* moduleName, const char* functionName) {
    const HMODULE module = LoadSystemLibrary(moduleName);
    if (!module) return nullptr;
    if (const auto function = procAddress<Function>(module, functionName)) return function;
    const DWORD error = ::GetLastError();
    ::FreeLibrary(module);
    ::SetLastError(error);
    return nullptr;
}

}  // namespace brisko
