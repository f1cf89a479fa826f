#include "registry.h"

#include <cstring>

#include "unique_handle.h"

namespace brisko {

REGSAM WithView(REGSAM access, RegistryView view) {
    switch (view) {
        case RegistryView::Registry32:
            return access | KEY_WOW64_32KEY;
        case RegistryView::Registry64:
            return access | KEY_WOW64_64KEY;
        default:
            return access;
    }
}

LSTATUS OpenKey(HKEY root, const wchar_t* subkey, REGSAM access, RegistryView view, HKEY* key) {
    return ::RegOpenKeyExW(root, subkey, 0, WithView(access, view), key);
}

LSTATUS WriteValue(HKEY root, const wchar_t* subkey, const wchar_t* name, DWORD type, const void* data, DWORD size,
                   RegistryView view) {
    const auto* bytes = static_cast<const BYTE*>(data);
    if (!subkey) return ::RegSetValueExW(root, name, 0, type, bytes, size);
    UniqueKey key;
    if (::RegCreateKeyExW(root, subkey, 0, nullptr, REG_OPTION_NON_VOLATILE, WithView(KEY_WRITE, view), nullptr,
                          key.put(), nullptr) != ERROR_SUCCESS)
        return ERROR_SUCCESS;
    return ::RegSetValueExW(key.get(), name, 0, type, bytes, size);
}

LSTATUS WriteStringValue(HKEY root, const wchar_t* subkey, const wchar_t* name, const wchar_t* text,
                         RegistryView view) {
    const auto bytes = static_cast<DWORD>((std::wcslen(text) + 1) * sizeof(wchar_t));
    return WriteValue(root, subkey, name, REG_SZ, text, bytes, view);
}

LSTATUS DeleteValue(HKEY root, const wchar_t* subkey, const wchar_t* name, RegistryView view) {
    UniqueKey key;
    if (OpenKey(root, subkey, KEY_WRITE, view, key.put()) != ERROR_SUCCESS) return -1;
    return ::RegDeleteValueW(key.get(), name);
}

LSTATUS QueryValue(HKEY root, const wchar_t* subkey, const wchar_t* name, DWORD* type, void* buffer, DWORD* size,
                   RegistryView view) {
    auto* bytes = static_cast<BYTE*>(buffer);
    if (!subkey) return ::RegQueryValueExW(root, name, nullptr, type, bytes, size);
    UniqueKey key;
    if (const LSTATUS status = OpenKey(root, subkey, KEY_READ, view, key.put()); status != ERROR_SUCCESS) return status;
    return ::RegQueryValueExW(key.get(), name, nullptr, type, bytes, size);
}

MallocPtr<wchar_t> ReadStringValue(HKEY root, const wchar_t* subkey, const wchar_t* name) {
    alignas(wchar_t) BYTE buffer[kValueBufferSize];
    DWORD type = 0;
    DWORD size = kValueBufferSize;
    if (QueryValue(root, subkey, name, &type, buffer, &size, RegistryView::Default) != ERROR_SUCCESS) return nullptr;
    if ((type != REG_SZ && type != REG_EXPAND_SZ) || size >= kValueBufferSize) return nullptr;
    // A stored string need not end with a NUL: copy at most what was stored and terminate it.
    const size_t units = wcsnlen(reinterpret_cast<const wchar_t*>(buffer), size / sizeof(wchar_t));
    MallocPtr<wchar_t> text(static_cast<wchar_t*>(std::malloc((size & ~1u) + sizeof(wchar_t))));
    if (!text) return nullptr;
    std::memcpy(text.get(), buffer, units * sizeof(wchar_t));
    text[units] = L'\0';
    return text;
}

MallocPtr<uint8_t> ReadBinaryValue(HKEY key, const wchar_t* name, DWORD* size) {
    BYTE buffer[kValueBufferSize];
    DWORD type = 0;
    DWORD length = kValueBufferSize;
    if (::RegQueryValueExW(key, name, nullptr, &type, buffer, &length) != ERROR_SUCCESS) return nullptr;
    if (type != REG_BINARY || length >= kValueBufferSize) return nullptr;
    // malloc(0) may answer null: an empty value still gets a (one-byte) buffer.
    MallocPtr<uint8_t> blob(static_cast<uint8_t*>(std::malloc(length ? length : 1)));
    if (!blob) return nullptr;
    std::memcpy(blob.get(), buffer, length);
    if (size) *size = length;
    return blob;
}

void ForEachSubkey(HKEY key, const KeyCallback& callback, RegistryView view) {
    bool keepGoing = true;
    for (DWORD index = 0; keepGoing; ++index) {
        wchar_t name[kNameCapacity];
        DWORD capacity = kNameCapacity;
        if (::RegEnumKeyExW(key, index, name, &capacity, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) return;
        UniqueKey subkey;
        if (OpenKey(key, name, KEY_READ, view, subkey.put()) != ERROR_SUCCESS) continue;
        keepGoing = callback(subkey.get());
        DWORD children = 0;
        if (::RegQueryInfoKeyW(subkey.get(), nullptr, nullptr, nullptr, &children, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
            children > 0)
            ForEachSubkey(subkey.get(), callback, view);
    }
}

LSTATUS ForEachWritableSubkey(HKEY parent, SubkeyOpener open, const KeyCallback& callback) {
    for (DWORD index = 0;; ++index) {
        wchar_t name[kNameCapacity];
        DWORD capacity = kNameCapacity;
        const LSTATUS status = ::RegEnumKeyExW(parent, index, name, &capacity, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
        if (status != ERROR_SUCCESS) return status;
        UniqueKey root;
        const LSTATUS opened = open(parent, name, root.put());
        if (opened == ERROR_ACCESS_DENIED) continue;
        if (opened != ERROR_SUCCESS) return opened;
        if (!callback(root.get())) return ERROR_SUCCESS;
    }
}

LSTATUS ForEachUserRoot(const KeyCallback& callback) {
    return ForEachWritableSubkey(
        HKEY_USERS,
        [](HKEY parent, const wchar_t* name, HKEY* key) {
            return OpenKey(parent, name, KEY_WRITE, RegistryView::Registry32, key);
        },
        callback);
}

}  // namespace brisko
