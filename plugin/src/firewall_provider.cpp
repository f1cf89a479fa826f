// InstallProvider and UninstallProvider: each works inside one engine transaction, so a
// partial installation or removal never persists.
#include <cstdint>

#include "firewall_api.h"
#include "firewall_objects.h"
#include "support_exports.h"
#include "unique_handle.h"

namespace brisko {
namespace {

struct EngineTraits {
    using Type = HANDLE;
    static Type invalid() noexcept { return nullptr; }
    static void close(Type engine) noexcept { Firewall().engineClose(engine); }
};
using UniqueEngine = UniqueResource<EngineTraits>;

constexpr DWORD kAlreadyExists = static_cast<DWORD>(FWP_E_ALREADY_EXISTS);

DWORD OpenFirewallEngine(HANDLE* engine) {
    const FWPM_SESSION0 session = SetupSession();
    return Firewall().engineOpen(nullptr, RPC_C_AUTHN_DEFAULT, nullptr, &session, engine);
}

DWORD AddProvider(HANDLE engine) {
    const FWPM_PROVIDER0 provider = LocalProxyProvider();
    const DWORD result = Firewall().providerAdd(engine, &provider, nullptr);
    return result == kAlreadyExists ? ERROR_SUCCESS : result;
}

// An existing filter of that key counts as added, whatever port it carries.
DWORD AddLocalProxyFilter(HANDLE engine, const GUID& key, std::uint16_t port) {
    const LocalProxyFilter filter(key, port);
    const DWORD result = Firewall().filterAdd(engine, &filter.filter, nullptr, nullptr);
    return result == kAlreadyExists ? ERROR_SUCCESS : result;
}

// Only the low 16 bits of an argument carry the port.
std::uint16_t PortOf(DWORD argument) { return static_cast<std::uint16_t>(argument & 0xFFFF); }

DWORD AddObjects(HANDLE engine, std::uint16_t firstPort, std::uint16_t secondPort) {
    if (const DWORD result = AddProvider(engine); result != ERROR_SUCCESS) return result;
    if (firstPort != 0) {
        if (const DWORD result = AddLocalProxyFilter(engine, kFirstFilterKey, firstPort); result != ERROR_SUCCESS)
            return result;
    }
    if (secondPort != 0) return AddLocalProxyFilter(engine, kSecondFilterKey, secondPort);
    return ERROR_SUCCESS;
}

// Missing filters are fine; a missing provider is the caller's error and rolls the filters back.
DWORD RemoveObjects(HANDLE engine) {
    Firewall().filterDeleteByKey(engine, &kSecondFilterKey);
    Firewall().filterDeleteByKey(engine, &kFirstFilterKey);
    return Firewall().providerDeleteByKey(engine, &kProviderKey);
}

// Runs change inside a transaction: commits when it succeeds, aborts when it fails. The
// answer is the first failing result, the abort's and the close's own results aside. Without
// the library it is the load's error; before Windows 8 there is nothing to do, which is 0.
template <typename Change>
DWORD InTransaction(Change&& change) {
    if (Firewall().empty()) return Firewall().loadError;
    HANDLE opened = nullptr;
    if (const DWORD result = OpenFirewallEngine(&opened); result != ERROR_SUCCESS) return result;
    const UniqueEngine engine(opened);
    if (const DWORD result = Firewall().transactionBegin(engine.get(), 0); result != ERROR_SUCCESS) return result;
    if (const DWORD result = change(engine.get()); result != ERROR_SUCCESS) {
        Firewall().transactionAbort(engine.get());
        return result;
    }
    return Firewall().transactionCommit(engine.get());
}

}  // namespace
}  // namespace brisko

extern "C" DWORD __cdecl InstallProvider(DWORD firstPort, DWORD secondPort) noexcept {
    return brisko::InTransaction(
        [&](HANDLE engine) { return brisko::AddObjects(engine, brisko::PortOf(firstPort), brisko::PortOf(secondPort)); });
}

extern "C" DWORD __cdecl UninstallProvider() noexcept {
    return brisko::InTransaction(brisko::RemoveObjects);
}
