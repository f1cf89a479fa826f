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
        for (const wchar_t* key : kChromePolicyKeys) {
            writeText(key, L"ProxyServer", proxyList);
            writeText(key, L"ProxyBypassList", L"<local>");
            writeText(key, L"ProxyMode", L"fixed_servers");
            writeDword(key, L"QuicAllowed", 0);
            writeDword(key, L"ForceYouTubeRestrict", 1);
            writeDword(key, L"ForceGoogleSafeSearch", 1);
        }
        return;
    }
    deleteValue(kInternetExplorerPolicyKey, L"Proxy");
    for (const wchar_t* key : kChromePolicyKeys) {
        for (const wchar_t* name :
             {L"ProxyMode", L"ProxyServer", L"ProxyBypassList", L"QuicAllowed", L"ForceYouTubeRestrict",
              L"ForceGoogleSafeSearch"})
            deleteValue(key, name);
    }
}

}  // namespace brisko
