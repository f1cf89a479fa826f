#pragma once
// Points a user's WinINet proxy configuration at the local filtering proxy, or takes it away:
// the classic Internet Settings values and every per-connection blob under Connections. A user
// root is an open key in the role of HKEY_CURRENT_USER.
#include <windows.h>

#include <functional>

#include "dial_up.h"
#include "registry.h"
#include "user_proxy_values.h"

namespace brisko {

inline constexpr wchar_t kInternetSettingsKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
inline constexpr wchar_t kConnectionsKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";

// Called with the open Connections key and a value or entry name.
using ConnectionCallback = std::function<LONG(HKEY connections, const wchar_t* name)>;

// Offers every RAS phone-book entry, then every value of the Connections key, then the active
// dial-up entry if neither listed it. Answers the last callback result; 0 when the Connections
// key cannot be opened; -1 when the entry list cannot be allocated.
LONG ForEachConnectionSetting(HKEY root, const ConnectionCallback& callback, RegistryView view,
                              const DialUpApi& ras = SystemDialUpApi());

// Rewrites one blob for the settings; "SavedLegacySettings", missing, malformed and oversized
// blobs are left as they are. Always 0.
LONG RewriteConnectionSetting(HKEY connections, const wchar_t* name, const ProxySettings& settings, RegistryView view);

// Blobs, "ProxyServer", "ProxyOverride" and "ProxyEnable" of one user root; answers the Win32
// result of writing "ProxyEnable".
LSTATUS ApplyUserProxy(HKEY root, const ProxySettings& settings, const DialUpApi& ras = SystemDialUpApi());

// The longest proxy list SetUserProxy accepts, in UTF-16 code units.
inline constexpr size_t kMaxUserProxyLength = 255;

// The current user's proxy, from UTF-8 text, or cleared with null. 0 on success, -1 on failure:
// no restore privilege, the write of "ProxyEnable" failed, or the text is not UTF-8 or longer than
// kMaxUserProxyLength code units (then nothing is changed).
int SetUserProxy(const char* utf8Proxy);

}  // namespace brisko
