#pragma once
// Registry set-up and read-back for tests: a fresh key per test, raw reads that do not go
// through the layer under test.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "unique_handle.h"

namespace brisko::testing {

// A new key under HKEY_CURRENT_USER\Software\HarbeeTests, removed with its subtree at the end.
class TestKey {
public:
    explicit TestKey(const std::wstring& purpose)
        : path_(L"Software\\HarbeeTests\\" + purpose + L"-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                std::to_wstring(counter_++)) {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
        ::RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key_.put(), nullptr);
    }
    ~TestKey() {
        key_.reset();
        ::RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
    }
    TestKey(const TestKey&) = delete;
    TestKey& operator=(const TestKey&) = delete;

    HKEY get() const { return key_.get(); }
    const std::wstring& path() const { return path_; }

private:
    static inline std::atomic<int> counter_{0};
    std::wstring path_;
    UniqueKey key_;
};

struct RawValue {
    DWORD type = REG_NONE;
    std::vector<uint8_t> data;
};

// The value as stored, or none when the key or value is missing. viewFlag: 0 or KEY_WOW64_*.
inline std::optional<RawValue> readRaw(HKEY root, const std::wstring& subkey, const wchar_t* name,
                                       REGSAM viewFlag = 0) {
    UniqueKey key;
    if (::RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ | viewFlag, key.put()) != ERROR_SUCCESS) return std::nullopt;
    RawValue value;
    DWORD size = 0;
    LSTATUS status = ::RegQueryValueExW(key.get(), name, nullptr, &value.type, nullptr, &size);
    if (status == ERROR_SUCCESS) {
        value.data.resize(size);
        status = ::RegQueryValueExW(key.get(), name, nullptr, &value.type, value.data.data(), &size);
        value.data.resize(size);
    }
    if (status != ERROR_SUCCESS) return std::nullopt;
    return value;
}

inline std::optional<DWORD> readDword(HKEY root, const std::wstring& subkey, const wchar_t* name, REGSAM viewFlag = 0) {
    const auto value = readRaw(root, subkey, name, viewFlag);
    if (!value || value->type != REG_DWORD || value->data.size() != sizeof(DWORD)) return std::nullopt;
    return *reinterpret_cast<const DWORD*>(value->data.data());
}

// A REG_SZ value without its terminator.
inline std::optional<std::wstring> readString(HKEY root, const std::wstring& subkey, const wchar_t* name,
                                              REGSAM viewFlag = 0) {
    const auto value = readRaw(root, subkey, name, viewFlag);
    if (!value || value->type != REG_SZ) return std::nullopt;
    std::wstring text(reinterpret_cast<const wchar_t*>(value->data.data()), value->data.size() / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    return text;
}

inline std::optional<std::vector<uint8_t>> readBinary(HKEY root, const std::wstring& subkey, const wchar_t* name,
                                                      REGSAM viewFlag = 0) {
    const auto value = readRaw(root, subkey, name, viewFlag);
    if (!value || value->type != REG_BINARY) return std::nullopt;
    return value->data;
}

inline bool keyExists(HKEY root, const std::wstring& subkey, REGSAM viewFlag = 0) {
    UniqueKey key;
    return ::RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ | viewFlag, key.put()) == ERROR_SUCCESS;
}

inline void setRaw(HKEY root, const std::wstring& subkey, const wchar_t* name, DWORD type, const void* data,
                   size_t size, REGSAM viewFlag = 0) {
    UniqueKey key;
    ::RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, 0, KEY_WRITE | viewFlag, nullptr, key.put(), nullptr);
    ::RegSetValueExW(key.get(), name, 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(size));
}

inline void setString(HKEY root, const std::wstring& subkey, const wchar_t* name, const std::wstring& text,
                      REGSAM viewFlag = 0) {
    setRaw(root, subkey, name, REG_SZ, text.c_str(), (text.size() + 1) * sizeof(wchar_t), viewFlag);
}

inline void setBinary(HKEY root, const std::wstring& subkey, const wchar_t* name, const std::vector<uint8_t>& data) {
    setRaw(root, subkey, name, REG_BINARY, data.data(), data.size());
}

// Removes parent\\child with its subtree from the 32-bit and the 64-bit registry view.
inline void deleteTreeInBothViews(HKEY root, const wchar_t* parent, const wchar_t* child) {
    for (const REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        UniqueKey key;
        if (::RegOpenKeyExW(root, parent, 0, KEY_ALL_ACCESS | view, key.put()) == ERROR_SUCCESS)
            ::RegDeleteTreeW(key.get(), child);
    }
}

}  // namespace brisko::testing
