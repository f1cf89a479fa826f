#include "registry/system_registry.h"

#include <cwchar>
#include <string>
#include <utility>

#include "foundation/log.h"
#include "foundation/pool.h"
#include "options/value_syntax.h"
#include "registry/registry.h"

namespace {

constexpr wchar_t RuntimeKey[] = L"SOFTWARE\\JavaSoft\\Java Runtime Environment";
constexpr wchar_t DevelopmentKitKey[] = L"SOFTWARE\\JavaSoft\\Java Development Kit";
constexpr DWORD PathChars = 4096;
constexpr DWORD DefaultKillTimeoutMs = 20000;

// value of key + "\" + (its CurrentVersion)
BOOL readVersionedValue(const wchar_t* key, DWORD versionBytes, const wchar_t* valueName, wchar_t* out, DWORD bytes) {
    wchar_t version[128];
    if (!queryStringValue(key, L"CurrentVersion", version, versionBytes)) return FALSE;
    wchar_t path[512];
    _snwprintf(path, 512, L"%s\\%s", key, version);
    path[511] = L'\0';
    return queryStringValue(path, valueName, out, bytes);
}

BOOL readServiceValue(const wchar_t* serviceName, const wchar_t* valueName, wchar_t* out, DWORD bytes) {
    if (!serviceName || std::wcslen(serviceName) > LongestServiceName) {
        out[0] = L'\0';
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    wchar_t path[512];
    _snwprintf(path, 512, L"SYSTEM\\CurrentControlSet\\Services\\%s", serviceName);
    path[511] = L'\0';
    return queryStringValue(path, valueName, out, bytes);
}

}  // namespace

wchar_t* findJavaHome(BOOL insistOnRuntime) {
    wchar_t home[PathChars];
    if (!insistOnRuntime) {
        ::SetLastError(ERROR_SUCCESS);
        const DWORD length = ::GetEnvironmentVariableW(L"JAVA_HOME", home, PathChars);
        if (length > 0 && length < PathChars) return poolStrdup(MainPool, home);
        if (::GetLastError() != ERROR_ENVVAR_NOT_FOUND && ::GetLastError() != ERROR_SUCCESS) LOG_SYSTEM_ERROR();
    }
    if (!readVersionedValue(insistOnRuntime ? RuntimeKey : DevelopmentKitKey, 255, L"JavaHome", home,
                            sizeof(home)))
        return nullptr;
    ::SetEnvironmentVariableW(L"JAVA_HOME", home);
    return poolStrdup(MainPool, home);
}

wchar_t* findRuntimeLib() {
    wchar_t library[PathChars];
    if (!readVersionedValue(RuntimeKey, 256, L"RuntimeLib", library, sizeof(library))) return nullptr;
    return poolStrdup(MainPool, library);
}

DWORD readKillServiceTimeout() {
    wchar_t value[64];
    if (!queryStringValue(L"SYSTEM\\CurrentControlSet\\Control", L"WaitToKillServiceTimeout", value, sizeof(value)) ||
        !value[0])
        return DefaultKillTimeoutMs;
    const LONG milliseconds = parseNumber(value);
    return milliseconds < 0 ? DefaultKillTimeoutMs : static_cast<DWORD>(milliseconds);
}

DWORD readPreshutdownTimeout(const wchar_t* serviceName, DWORD fallbackMs) {
    if (!serviceName || std::wcslen(serviceName) > LongestServiceName) return fallbackMs;
    wchar_t path[512];
    _snwprintf(path, 512, L"SYSTEM\\CurrentControlSet\\Services\\%s", serviceName);
    path[511] = L'\0';
    DWORD value = 0;
    DWORD size = sizeof(value);
    return ::RegGetValueW(HKEY_LOCAL_MACHINE, path, L"PreshutdownTimeout", RRF_RT_REG_DWORD, nullptr, &value, &size) ==
                   ERROR_SUCCESS
               ? value
               : fallbackMs;
}

wchar_t* readServiceDependencies(const wchar_t* serviceName) {
    if (!serviceName || std::wcslen(serviceName) > LongestServiceName) return nullptr;
    wchar_t path[512];
    _snwprintf(path, 512, L"SYSTEM\\CurrentControlSet\\Services\\%s", serviceName);
    path[511] = L'\0';
    std::wstring list;
    for (const auto& [value, prefix] : {std::pair{L"DependOnService", L""}, std::pair{L"DependOnGroup", L"+"}}) {
        DWORD bytes = 0;
        if (::RegGetValueW(HKEY_LOCAL_MACHINE, path, value, RRF_RT_REG_MULTI_SZ, nullptr, nullptr, &bytes) !=
            ERROR_SUCCESS)
            continue;
        std::wstring entries(bytes / sizeof(wchar_t) + 2, L'\0');
        if (::RegGetValueW(HKEY_LOCAL_MACHINE, path, value, RRF_RT_REG_MULTI_SZ, nullptr, entries.data(), &bytes) !=
            ERROR_SUCCESS)
            continue;
        for (const wchar_t* entry = entries.c_str(); *entry; entry += std::wcslen(entry) + 1)
            list += prefix + std::wstring(entry) + L'\0';
    }
    auto* packed = static_cast<wchar_t*>(poolAlloc(MainPool, (list.size() + 2) * sizeof(wchar_t)));
    if (packed) std::wmemcpy(packed, list.data(), list.size());
    return packed;
}

BOOL readServiceDescription(const wchar_t* serviceName, wchar_t* out, DWORD bytes) {
    return readServiceValue(serviceName, L"Description", out, bytes);
}

BOOL readServiceAccount(const wchar_t* serviceName, wchar_t* out, DWORD bytes) {
    return readServiceValue(serviceName, L"ObjectName", out, bytes);
}
