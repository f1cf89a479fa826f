#include "firewall_api.h"

#include "proc_address.h"
#include "unique_handle.h"
#include "windows_version.h"

namespace brisko {
namespace {

template <typename Function>
bool Resolve(HMODULE module, const char* name, Function& entry) {
    entry = procAddress<Function>(module, name);
    return entry != nullptr;
}

// Static initialisation runs while the plug-in is being attached, before any export is called.
const FirewallApi firewall = LoadFirewallApi();

}  // namespace

FirewallApi LoadFirewallApi() {
    if (!isWindows8OrLater()) return {};
    UniqueModule module(::LoadLibraryW(L"FWPUCLNT.DLL"));
    if (!module) return {};

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
    if (!complete) return {};  // the module is freed with its owner
    api.module = module.release();
    return api;
}

const FirewallApi& Firewall() { return firewall; }

}  // namespace brisko
