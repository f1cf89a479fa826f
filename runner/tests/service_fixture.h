#pragma once
// Test services and the registry as the tests see it: values read back independently of the
// runner, and services (with the runner's keys for them) removed even when a test fails.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "registry/registry.h"
#include "unique_handle.h"

namespace runner_test {

struct RegistryValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;

    std::wstring text() const {
        std::wstring result(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
        while (!result.empty() && result.back() == L'\0') result.pop_back();
        return result;
    }
    // List entries joined by "|".
    std::wstring entries() const {
        std::wstring result = text();
        for (wchar_t& c : result) {
            if (c == L'\0') c = L'|';
        }
        return result;
    }
    DWORD number() const { return data.size() == sizeof(DWORD) ? *reinterpret_cast<const DWORD*>(data.data()) : 0; }
};

inline std::optional<RegistryValue> readRegistryValue(HKEY root, const std::wstring& path, const wchar_t* name) {
    brisko::UniqueKey key;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return std::nullopt;
    RegistryValue value;
    DWORD size = 0;
    LSTATUS status = ::RegQueryValueExW(key.get(), name, nullptr, &value.type, nullptr, &size);
    if (status == ERROR_SUCCESS) {
        value.data.resize(size);
        status = ::RegQueryValueExW(key.get(), name, nullptr, &value.type, value.data.data(), &size);
    }
    if (status != ERROR_SUCCESS) return std::nullopt;
    return value;
}

inline bool registryKeyExists(HKEY root, const std::wstring& path) {
    brisko::UniqueKey key;
    return ::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

inline void writeRegistryValue(HKEY root, const std::wstring& path, const wchar_t* name, DWORD type, const void* data,
                               DWORD bytes) {
    brisko::UniqueKey key;
    if (::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr) != ERROR_SUCCESS)
        return;
    ::RegSetValueExW(key.get(), name, 0, type, static_cast<const BYTE*>(data), bytes);
}

inline void writeRegistryString(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& text,
                                DWORD type = REG_SZ) {
    writeRegistryValue(root, path, name, type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

inline std::wstring runnerKey(const std::wstring& service) {
    return std::wstring(L"SOFTWARE\\") + ProductKey + L"\\" + service;
}

inline std::wstring serviceKey(const std::wstring& service) {
    return L"SYSTEM\\CurrentControlSet\\Services\\" + service;
}

using brisko::UniqueServiceHandle;

inline UniqueServiceHandle openTestService(const std::wstring& name, DWORD access = SERVICE_ALL_ACCESS) {
    const UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    return UniqueServiceHandle(manager ? ::OpenServiceW(manager.get(), name.c_str(), access) : nullptr);
}

// 0 when the service does not exist.
inline DWORD serviceState(const std::wstring& name) {
    const UniqueServiceHandle service = openTestService(name, SERVICE_QUERY_STATUS);
    SERVICE_STATUS status{};
    return service && ::QueryServiceStatus(service.get(), &status) ? status.dwCurrentState : 0;
}

// Stops (waiting up to 30 s for it) and deletes the service, then removes the runner's keys for
// it below both roots.
inline void removeTestService(const std::wstring& name) {
    if (const UniqueServiceHandle service = openTestService(name)) {
        SERVICE_STATUS status{};
        for (int i = 0; i < 300 && ::QueryServiceStatus(service.get(), &status) &&
                        status.dwCurrentState != SERVICE_STOPPED;
             ++i) {
            if (status.dwCurrentState == SERVICE_RUNNING || status.dwCurrentState == SERVICE_PAUSED)
                ::ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
            ::Sleep(100);
        }
        ::DeleteService(service.get());
    }
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        ::RegDeleteTreeW(root, runnerKey(name).c_str());
        ::RegDeleteKeyW(root, (std::wstring(L"SOFTWARE\\") + ProductKey).c_str());
    }
}

// Removes the named services before a test and again when it ends, however it ends.
class TestServices {
public:
    explicit TestServices(std::vector<std::wstring> names) : names_(std::move(names)) { clean(); }
    ~TestServices() { clean(); }
    TestServices(const TestServices&) = delete;
    TestServices& operator=(const TestServices&) = delete;

private:
    void clean() {
        for (const std::wstring& name : names_) removeTestService(name);
    }
    std::vector<std::wstring> names_;
};

// A service the manager knows, with an image that is never started.
inline bool createIdleService(const std::wstring& name, const wchar_t* description = nullptr) {
    const UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    const UniqueServiceHandle service(
        manager ? ::CreateServiceW(manager.get(), name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                                   SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                   L"C:\\never\\started.exe", nullptr, nullptr, nullptr, nullptr, nullptr)
                : nullptr);
    if (service && description) {
        SERVICE_DESCRIPTIONW text{const_cast<wchar_t*>(description)};
        ::ChangeServiceConfig2W(service.get(), SERVICE_CONFIG_DESCRIPTION, &text);
    }
    return static_cast<bool>(service);
}

}  // namespace runner_test
