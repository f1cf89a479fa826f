#include "system_proxy.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <optional>
#include <span>
#include <string>

#include "connection_blob.h"
#include "text.h"
#include "unique_handle.h"

namespace brisko {
namespace {

constexpr wchar_t kSavedLegacySettings[] = L"SavedLegacySettings";
constexpr wchar_t kLocalBypassWide[] = L"<local>";

// Offers each name to the callback, noting whether the active dial-up entry was among them.
class ConnectionVisitor {
public:
    ConnectionVisitor(HKEY key, const ConnectionCallback& callback) : key_(key), callback_(callback) {}

    void setActive(const wchar_t* name) { active_ = name; }
    void visit(const wchar_t* name) {
        if (active_ && std::wcscmp(name, active_) == 0) activeSeen_ = true;
        result_ = callback_(key_, name);
    }
    void visitUnseenActive() {
        if (active_ && !activeSeen_) result_ = callback_(key_, active_);
    }
    LONG result() const { return result_; }

private:
    HKEY key_;
    const ConnectionCallback& callback_;
    const wchar_t* active_ = nullptr;
    bool activeSeen_ = false;
    LONG result_ = 0;
};

// The phone-book entries; false only when the list cannot be allocated.
bool visitPhoneBookEntries(ConnectionVisitor& visitor, const DialUpApi& ras) {
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
        visitor.visit(entry.szEntryName);
    }
    return true;
}

void visitValues(HKEY key, ConnectionVisitor& visitor) {
    for (DWORD index = 0;; ++index) {
        wchar_t name[kNameCapacity];
        DWORD capacity = kNameCapacity;
        const LSTATUS status = ::RegEnumValueW(key, index, name, &capacity, nullptr, nullptr, nullptr, nullptr);
        // A name too long for the buffer is no connection's; the values after it still are.
        if (status == ERROR_MORE_DATA) continue;
        if (status != ERROR_SUCCESS) return;
        visitor.visit(name);
    }
}

}  // namespace

LONG ForEachConnectionSetting(HKEY root, const ConnectionCallback& callback, RegistryView view, const DialUpApi& ras) {
    UniqueKey key;
    if (OpenKey(root, kConnectionsKey, KEY_READ | KEY_WRITE, view, key.put()) != ERROR_SUCCESS) return 0;
    ConnectionVisitor visitor(key.get(), callback);
    wchar_t active[kEntryNameCapacity];
    if (FindActiveDialUpEntry(active, ras)) visitor.setActive(active);
    if (!visitPhoneBookEntries(visitor, ras)) return -1;
    visitValues(key.get(), visitor);
    visitor.visitUnseenActive();
    return visitor.result();
}

LONG RewriteConnectionSetting(HKEY connections, const wchar_t* name, const ProxySettings& settings, RegistryView view) {
    if (std::wcscmp(name, kSavedLegacySettings) == 0) return 0;
    DWORD size = 0;
    const MallocPtr<uint8_t> blob = ReadBinaryValue(connections, name, &size);
    if (!blob) return 0;
    const auto proxy = settings.narrowProxy ? std::optional<std::string_view>(settings.narrowProxy) : std::nullopt;
    const BlobRewriteResult rewrite = RewriteConnectionBlob(std::span<const uint8_t>(blob.get(), size), proxy);
    if (rewrite.outcome == BlobRewrite::Rewritten)
        WriteValue(connections, nullptr, name, REG_BINARY, rewrite.blob.data(), static_cast<DWORD>(rewrite.blob.size()),
                   view);
    return 0;
}

LSTATUS ApplyUserProxy(HKEY root, const ProxySettings& settings, const DialUpApi& ras) {
    ForEachConnectionSetting(
        root,
        [&settings](HKEY connections, const wchar_t* name) {
            return RewriteConnectionSetting(connections, name, settings, RegistryView::Registry32);
        },
        RegistryView::Registry32, ras);
    if (settings.narrowProxy) {
        WriteStringValue(root, kInternetSettingsKey, L"ProxyServer", settings.wideProxy ? settings.wideProxy : L"",
                         RegistryView::Registry32);
        WriteStringValue(root, kInternetSettingsKey, L"ProxyOverride", kLocalBypassWide, RegistryView::Registry32);
    } else {
        DeleteValue(root, kInternetSettingsKey, L"ProxyServer", RegistryView::Registry32);
        DeleteValue(root, kInternetSettingsKey, L"ProxyOverride", RegistryView::Registry32);
    }
    const DWORD enable = settings.wideProxy ? 1 : 0;
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
