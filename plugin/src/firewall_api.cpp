#include "firewall_api.h"

#include "proc_address.h"
#include "system_library.h"
#include "unique_handle.h"
#include "windows_version.h"

namespace brisko {
namespace {

template <typename Function>
bool Resolve(HMODULE module, const char* name, Function& entry) {
    entry = procAddress<Function>(module, name);
    return entry != nullptr;
}

// The loader's error, never 0: an empty table must not read as success.
FirewallApi Failed(DWORD fallback) {
    const DWORD error = ::GetLastError();
    FirewallApi api;
    api.loadError = error != ERROR_SUCCESS ? error : fallback;
    return api;
}

}  // namespace

FirewallApi LoadFirewallApi() {
    if (!isWindows8OrLater()) return {};
    UniqueModule module(LoadSystemLibrary(L"FWPUCLNT.DLL"));
    if (!module) return Failed(ERROR_MOD_NOT_FOUND);

    FirewallApi api;
    const HMODULE m = module.get();
    const bool complete = Resolve(m, "FwpmEngineOpen0", api.engineOpen) &&
                          Resolve(m, "FwpmEngineClose0", api.engineClose) &&
                          Resolve(m, "FwpmTransactionBegin0", api.transactionBegin) &&
                          Resolve(m, "FwpmTransactionCommit0", api.transactionCommit) &&
                          Resolve(m, "FwpmTransactionAbort0", api.transactionAbort) &&
                          Resolve(m, "FwpmProviderAdd0", api.providerAdd) &&
                          Resolve(m, "FwpmProviderDeleteByKey0", api.providerDeleteByKey) &&
                          Resolve(m, "FwpmFilterAdd0", api.filterAdd) &&
                          Resolve(m, "FwpmFilterDeleteByKey0", api.filterDeleteByKey);
    if (!complete) return Failed(ERROR_PROC_NOT_FOUND);  // the module is freed with its owner
    api.module = module.release();
    return api;
}

// Not while the plug-in is being attached: loading a library from inside the loader's attach work
// is what Windows warns against, and most setup calls never need the firewall.
const FirewallApi& Firewall() {
    static const FirewallApi firewall = LoadFirewallApi();
    return firewall;
}

}  // namespace brisko
