#pragma once
// The Windows Filtering Platform's user-mode library, bound at run time from the system folder:
// FWPUCLNT.DLL exists only on systems that have the platform, and the plug-in must load
// everywhere.
#include <winsock2.h>
#include <windows.h>

#include <fwpmu.h>

namespace brisko {

struct FirewallApi {
    HMODULE module = nullptr;
    decltype(&::FwpmEngineOpen0) engineOpen = nullptr;
    decltype(&::FwpmEngineClose0) engineClose = nullptr;
    decltype(&::FwpmTransactionBegin0) transactionBegin = nullptr;
    decltype(&::FwpmTransactionCommit0) transactionCommit = nullptr;
    decltype(&::FwpmTransactionAbort0) transactionAbort = nullptr;
    decltype(&::FwpmProviderAdd0) providerAdd = nullptr;
    decltype(&::FwpmProviderDeleteByKey0) providerDeleteByKey = nullptr;
    decltype(&::FwpmFilterAdd0) filterAdd = nullptr;
    decltype(&::FwpmFilterDeleteByKey0) filterDeleteByKey = nullptr;

    // Why an empty table is empty: 0 before Windows 8, where there is nothing to do; else the
    // error of the load or of the first missing entry point, which the exports answer.
    DWORD loadError = ERROR_SUCCESS;

    // Either every entry point is there or the table is empty.
    bool empty() const { return module == nullptr; }
};

// On Windows 8 or later, the system folder's FWPUCLNT.DLL with all nine entry points; otherwise
// an empty table. A complete table keeps its module loaded for good.
FirewallApi LoadFirewallApi();

// The process-wide table, loaded at the first call that needs it.
const FirewallApi& Firewall();

}  // namespace brisko
