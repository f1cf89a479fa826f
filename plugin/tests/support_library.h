#pragma once
// Support.dll as the setup program uses it: loaded by file name from beside the program, its
// functions found by their export names.
#include <windows.h>

#include "executable_path.h"
#include "proc_address.h"
#include "support_exports.h"
#include "unique_handle.h"

namespace brisko::testing {

class SupportLibrary {
public:
    bool loaded() const {
        return module_ && checkPassword && installProvider && uninstallProvider && browserRunning && unlockProxies;
    }

private:
    UniqueModule module_{::LoadLibraryW(siblingPath(L"Support.dll").c_str())};

public:
    // CheckPassword with its result declared int, as setup scripts declare it, and one byte wide:
    // each caller reads what it declares, whatever the plug-in's header says.
    int(__cdecl* checkPassword)(const char*, const char*) =
        procAddress<int(__cdecl*)(const char*, const char*)>(module_.get(), "CheckPassword");
    bool(__cdecl* checkPasswordAsBool)(const char*, const char*) =
        procAddress<bool(__cdecl*)(const char*, const char*)>(module_.get(), "CheckPassword");
    decltype(&::InstallProvider) installProvider =
        procAddress<decltype(&::InstallProvider)>(module_.get(), "InstallProvider");
    decltype(&::UninstallProvider) uninstallProvider =
        procAddress<decltype(&::UninstallProvider)>(module_.get(), "UninstallProvider");
    decltype(&::BrowserRunning) browserRunning = procAddress<decltype(&::BrowserRunning)>(module_.get(), "BrowserRunning");
    decltype(&::UnlockProxies) unlockProxies = procAddress<decltype(&::UnlockProxies)>(module_.get(), "UnlockProxies");
};

}  // namespace brisko::testing
