#pragma once
// The machine-wide browser policies as each browser documents them, written out here rather than
// taken from the library: where every browser reads them and what the set holds.
#include <windows.h>

#include <string>
#include <vector>

namespace brisko::testing {

struct ExpectedDword {
    const wchar_t* name;
    DWORD data;
};

struct ExpectedBrowserPolicies {
    const wchar_t* key;
    std::vector<ExpectedDword> dwords;  // QUIC off and the browser's safety switches
};

inline const std::vector<ExpectedBrowserPolicies>& expectedBrowserPolicies() {
    static const std::vector<ExpectedBrowserPolicies> browsers = {
        {L"Software\\Policies\\Google\\Chrome",
         {{L"QuicAllowed", 0}, {L"ForceYouTubeRestrict", 1}, {L"ForceGoogleSafeSearch", 1}}},
        {L"Software\\Policies\\Chromium",
         {{L"QuicAllowed", 0}, {L"ForceYouTubeRestrict", 1}, {L"ForceGoogleSafeSearch", 1}}},
        {L"Software\\Policies\\Microsoft\\Edge",
         {{L"QuicAllowed", 0},
          {L"ForceYouTubeRestrict", 1},
          {L"ForceGoogleSafeSearch", 1},
          {L"ForceBingSafeSearch", 2}}},
        {L"Software\\Policies\\BraveSoftware\\Brave",
         {{L"QuicAllowed", 0}, {L"ForceYouTubeRestrict", 1}, {L"ForceGoogleSafeSearch", 1}}},
    };
    return browsers;
}

// Every value the set writes in a browser's key: the three texts and its numbers.
inline std::vector<std::wstring> policyNames(const ExpectedBrowserPolicies& browser) {
    std::vector<std::wstring> names = {L"ProxyServer", L"ProxyBypassList", L"ProxyMode"};
    for (const ExpectedDword& value : browser.dwords) names.push_back(value.name);
    return names;
}

}  // namespace brisko::testing
