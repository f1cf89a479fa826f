// UnlockProxies: takes back everything the product did to force browsers through its proxy, on
// every user of the machine. Each step runs whatever the previous ones did.
#include <windows.h>

#include <filesystem>
#include <system_error>

#include "browser_policies.h"
#include "mozilla_autoconfig.h"
#include "opera_prefs.h"
#include "registry.h"
#include "support_exports.h"
#include "system_proxy.h"

namespace brisko {
namespace {

// A step's failures stay inside the step, allocation failures included.
template <typename Step>
void RunStep(Step&& step) noexcept {
    try {
        step();
    } catch (...) {
    }
}

// No proxy in every loaded hive; the walk stops at the first root whose "ProxyEnable" cannot be
// written.
void ClearAllUsersProxy() {
    ForEachUserRoot([](HKEY root) { return ApplyUserProxy(root, ProxySettings{}) == ERROR_SUCCESS; });
}

}  // namespace
}  // namespace brisko

extern "C" void __cdecl UnlockProxies() noexcept {
    using brisko::RunStep;
    RunStep([] {
        if (brisko::EnableRestorePrivilege()) brisko::ApplyBrowserPolicies(nullptr);
    });
    RunStep(brisko::ClearAllUsersProxy);
    RunStep([] {
        brisko::ForEachMozillaInstallDir([](const std::filesystem::path& directory) {
            brisko::RemoveFirefoxAutoconfig(directory, L"velmora.cfg");
            return true;
        });
    });
    RunStep([] {
        brisko::ForEachOperaFixedPrefsFile([](const std::filesystem::path& file) {
            std::error_code ignored;
            std::filesystem::remove(file, ignored);
        });
    });
}
