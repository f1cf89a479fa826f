#pragma once
// Machine-wide browser policies: Chrome and Chromium on the local proxy with QUIC off and the
// safety switches on, and the proxy page of Internet Options locked. Callers enable the restore
// privilege first and skip this when that fails.
namespace brisko {

inline constexpr wchar_t kInternetExplorerPolicyKey[] = L"Software\\Policies\\Microsoft\\Internet Explorer\\Control Panel";
inline constexpr const wchar_t* kChromePolicyKeys[] = {L"Software\\Policies\\Google\\Chrome",
                                                      L"Software\\Policies\\Chromium"};

// Writes the whole set with the proxy list stored verbatim, or removes exactly the values this
// writes when the list is null (the keys stay). Individual failures are ignored.
void ApplyBrowserPolicies(const wchar_t* proxyList);

}  // namespace brisko
