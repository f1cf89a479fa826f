#pragma once
// The system folders as their files lie on disk. Under WOW64 a 32-bit process's file-system
// redirection sends the system folder to the 32-bit one, so the 64-bit folder's files are read
// and written here with redirection off.
#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include <filesystem>

#include "unique_memory.h"

namespace brisko::testing {

inline bool isWow64() {
    BOOL wow64 = FALSE;
    return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}

inline std::filesystem::path knownFolder(REFKNOWNFOLDERID id) {
    UniqueTaskMemory<wchar_t*> path;
    if (FAILED(::SHGetKnownFolderPath(id, 0, nullptr, path.put())) || !path) return {};
    return std::filesystem::path(path.get());
}

// Runs action with redirection off where there is any (a 32-bit process under WOW64); action
// must load no DLL, which would then come from the 64-bit folder.
template <typename Action>
auto withoutRedirection(Action&& action) {
    struct Redirection {
        Redirection() { off = isWow64() && ::Wow64DisableWow64FsRedirection(&previous); }
        ~Redirection() {
            if (off) ::Wow64RevertWow64FsRedirection(previous);
        }
        void* previous = nullptr;
        bool off = false;
    } const redirection;
    return action();
}

// The system folder of the machine's own architecture, to be used without redirection.
inline std::filesystem::path nativeSystemFolder() { return knownFolder(FOLDERID_System); }
// The 32-bit system folder: SysWOW64 on a 64-bit machine, which redirection leaves alone.
inline std::filesystem::path systemX86Folder() { return knownFolder(FOLDERID_SystemX86); }

}  // namespace brisko::testing
