#include "system_proxy.h"

#include <algorithm>
#include <optional>
#include <span>
#include <string>

#include "text.h"
#include "unique_handle.h"

namespace brisko {
namespace {

// The phone-book entries; false only when the list cannot be allocated.
bool visitPhoneBookEntries(ConnectionOffers& offers, const DialUpApi& ras) {
    RASENTRYNAMEW probe{};
    probe.dwSize = sizeof(RASENTRYNAMEW);
    DWORD bytes = 0;
    DWORD count = 0;
    if (ras.enumEntries(nullptr, nullptr, &probe, &bytes, &count) != ERROR_BUFFER_TOO_SMALL) return true;
    bytes = std::max<DWORD>(bytes, sizeof(RASENTRYNAMEW));
    const auto entries = allocateZeroed<RASENTRYNAMEW>(bytes);
    if (!entries) return false;
    entries.get()->dwSize = sizeof(RASENTRYNAMEW);
    if (ras.enumEntries(nullptr, nullptr, entries.get(), &bytes, &count) != ERROR_SUCCESS) return true;
    // Never trust the count beyond the buffer it describes.
    count = std::min<DWORD>(count, bytes / sizeof(RASENTRYNAMEW));
    for (DWORD i = 0; i < count; ++i) {
        RASENTRYNAMEW& entry = entries.get()[i];
        entry.szEntryName[kEntryNameCapacity - 1] = L'\0';
        offers.offer(entry.szEntryName);
    }
    return true;
}

void visitValues(HKEY key, ConnectionOffers& offers) {
    for (DWORD index = 0;; ++index) {
        wchar_t name[kNameCapacity];
        DWORD capacity = kNameCapacity;
        const LSTATUS status = ::RegEnumValueW(key, index, name, &capacity, nullptr, nullptr, nullptr, nullptr);
        // A name too long for the buffer is no connection's; the values after it still are.
        if (status == ERROR_MORE_DATA) continue;
        if (status != ERROR_SUCCESS) return;
        offers.offer(name);
    }
}

}  // namespace

LONG ForEachConnectionSetting(HKEY root, const ConnectionCallback& callback, RegistryView view, const DialUpApi& ras) {
    UniqueKey key;
    if (OpenKey(root, kConnectionsKey, KEY_READ | KEY_WRITE, view, key.put()) != ERROR_SUCCESS) return 0;
    wchar_t active[kEntryNameCapacity];
    const bool hasActive = FindActiveDialUpEntry(active, ras);
    ConnectionOffers offers(hasActive ? active : nullptr,
                            [&callback, &key](const wchar_t* name) { return callback(key.get(), name); });
    if (!visitPhoneBookEntries(offers, ras)) return -1;
    visitValues(key.get(), offers);
    offers.offerUnseenActive();
    return offers.result();
}

LONG RewriteConnectionSetting(HKEY connections, const wchar_t* name, const ProxySettings& settings, RegistryView view) {
    if (!IsRewrittenConnectionSetting(name)) return 0;
    DWORD size = 0;
    const MallocPtr<uint8_t> blob = ReadBinaryValue(connections, name, &size);
    if (!blob) return 0;
    if (const auto update = ConnectionSettingUpdate(std::span<const uint8_t>(blob.get(), size), settings))
        WriteValue(connections, nullptr, name, REG_BINARY, update->data(), static_cast<DWORD>(update->size()), view);
    return 0;
}

LSTATUS ApplyUserProxy(HKEY root, const ProxySettings& settings, const DialUpApi& ras) {
    ForEachConnectionSetting(
        root,
        [&settings](HKEY connections, const wchar_t* name) {
            return RewriteConnectionSetting(connections, name, settings, RegistryView::Registry32);
        },
        RegistryView::Registry32, ras);
    const InternetSettingsValues values = InternetSettingsFor(settings);
    if (values.proxyServer) {
        WriteStringValue(root, kInternetSettingsKey, L"ProxyServer", values.proxyServer, RegistryView::Registry32);
        WriteStringValue(root, kInternetSettingsKey, L"ProxyOverride", values.proxyOverride, RegistryView::Registry32);
    } else {
        DeleteValue(root, kInternetSettingsKey, L"ProxyServer", RegistryView::Registry32);
        DeleteValue(root, kInternetSettingsKey, L"ProxyOverride", RegistryView::Registry32);
    }
    const DWORD enable = values.proxyEnable;
    return WriteValue(root, kInternetSettingsKey, L"ProxyEnable", REG_DWORD, &enable, sizeof enable,
                      RegistryView::Registry32);
}

int SetUserProxy(const char* utf8Proxy) {
    if (!EnableRestorePrivilege()) return -1;
    ProxySettings settings;
    std::wstring wide;
    if (utf8Proxy) {
        const std::optional<std::wstring> converted = strictUtf8ToWide(utf8Proxy);
        if (!converted || converted->size() > kMaxUserProxyLength) return -1;
        wide = *converted;
        settings = {utf8Proxy, wide.c_str()};
    }
    return ApplyUserProxy(HKEY_CURRENT_USER, settings) == ERROR_SUCCESS ? 0 : -1;
}

}  // namespace brisko
