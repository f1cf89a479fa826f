#pragma once
// Machine-wide browser policies: Chrome, Chromium, Microsoft Edge and Brave on the local proxy
// with QUIC off and their safety switches on, and the proxy page of Internet Options locked.
// Callers enable the restore privilege first and skip this when that fails.
#include <windows.h>

#include <span>

namespace brisko {

inline constexpr wchar_t kInternetExplorerPolicyKey[] = L"Software\\Policies\\Microsoft\\Internet Explorer\\Control Panel";

struct DwordPolicy {
    const wchar_t* name;
    DWORD data;
};

// A browser that reads Chrome's proxy policies from a key of its own, with the safe-search and
// restricted-YouTube switches it documents.
struct ChromePolicyKey {
    const wchar_t* key;
    std::span<const DwordPolicy> safety;
};

// Google's SafeSearch and YouTube's moderate restricted mode.
inline constexpr DwordPolicy kGoogleSafety[] = {{L"ForceYouTubeRestrict", 1}, {L"ForceGoogleSafeSearch", 1}};
// Edge adds Bing's SafeSearch, strict: like Google's, it then filters adult text as well as
// images and videos (moderate, 1, leaves the text).
inline constexpr DwordPolicy kEdgeSafety[] = {
    {L"ForceYouTubeRestrict", 1}, {L"ForceGoogleSafeSearch", 1}, {L"ForceBingSafeSearch", 2}};

// Visited in this order.
inline constexpr ChromePolicyKey kChromePolicyKeys[] = {
    {L"Software\\Policies\\Google\\Chrome", kGoogleSafety},
    {L"Software\\Policies\\Chromium", kGoogleSafety},
    {L"Software\\Policies\\Microsoft\\Edge", kEdgeSafety},
    {L"Software\\Policies\\BraveSoftware\\Brave", kGoogleSafety},
};

// Writes the whole set with the proxy list stored verbatim, or removes exactly the values this
// writes when the list is null (the keys stay, and so do other values in them). Individual
// failures are ignored.
void ApplyBrowserPolicies(const wchar_t* proxyList);

}  // namespace brisko
