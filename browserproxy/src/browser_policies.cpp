#include "browser_policies.h"

#include "registry.h"

namespace brisko {
namespace {

constexpr RegistryView kView = RegistryView::Registry32;

void writeDword(const wchar_t* key, const wchar_t* name, DWORD value) {
    WriteValue(HKEY_LOCAL_MACHINE, key, name, REG_DWORD, &value, sizeof value, kView);
}

void writeText(const wchar_t* key, const wchar_t* name, const wchar_t* text) {
    WriteStringValue(HKEY_LOCAL_MACHINE, key, name, text, kView);
}

void deleteValue(const wchar_t* key, const wchar_t* name) { DeleteValue(HKEY_LOCAL_MACHINE, key, name, kView); }

}  // namespace

void ApplyBrowserPolicies(const wchar_t* proxyList) {
    if (proxyList) {
        writeDword(kInternetExplorerPolicyKey, L"Proxy", 1);
        for (const ChromePolicyKey& browser : kChromePolicyKeys) {
            writeText(browser.key, L"ProxyServer", proxyList);
            writeText(browser.key, L"ProxyBypassList", L"<local>");
            writeText(browser.key, L"ProxyMode", L"fixed_servers");
            writeDword(browser.key, L"QuicAllowed", 0);
            for (const DwordPolicy& safety : browser.safety) writeDword(browser.key, safety.name, safety.data);
        }
        return;
    }
    deleteValue(kInternetExplorerPolicyKey, L"Proxy");
    for (const ChromePolicyKey& browser : kChromePolicyKeys) {
        for (const wchar_t* name : {L"ProxyMode", L"ProxyServer", L"ProxyBypassList", L"QuicAllowed"})
            deleteValue(browser.key, name);
        for (const DwordPolicy& safety : browser.safety) deleteValue(browser.key, safety.name);
    }
}

}  // namespace brisko
