#include "registry/registry.h"

#include <cwchar>
#include <initializer_list>

#include "options/value_syntax.h"
#include "unique_handle.h"

namespace {

constexpr size_t KeyPathChars = 512;

BOOL registryHandleCallback(Handle* handle, UINT message, WPARAM, LPARAM) {
    if (message != WM_CLOSE) return TRUE;
    auto* registry = reinterpret_cast<RegistryHandle*>(handle);
    for (HKEY* key : {&registry->subkey, &registry->scmParametersKey, &registry->scmKey, &registry->parametersKey,
                      &registry->serviceKey}) {
        if (*key) ::RegCloseKey(*key);
        *key = nullptr;
    }
    return TRUE;
}

LSTATUS openKey(HKEY parent, const wchar_t* path, REGSAM access, bool create, HKEY* key) {
    if (create)
        return ::RegCreateKeyExW(parent, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, key, nullptr);
    return ::RegOpenKeyExW(parent, path, 0, access, key);
}

HKEY keyOfKind(const RegistryHandle* handle, int kind) {
    switch (kind) {
    case KEY_KIND_SERVICE: return handle->serviceKey;
    case KEY_KIND_SCM: return handle->scmKey;
    case KEY_KIND_PARAMETERS: return handle->parametersKey;
    case KEY_KIND_SCM_PARAMETERS: return handle->scmParametersKey;
    default: return nullptr;
    }
}

// The key a value lives in: the kind's own key, or its subkey (opened, or created for writing).
HKEY valueKey(RegistryHandle* handle, int kind, const wchar_t* subkey, bool write) {
    const HKEY base = keyOfKind(handle, kind);
    if (!base || !subkey || !*subkey) return base;
    if (handle->subkey) ::RegCloseKey(handle->subkey);
    handle->subkey = nullptr;
    const LSTATUS status = openKey(base, subkey, write ? handle->access : KEY_READ, write, &handle->subkey);
    if (status != ERROR_SUCCESS) {
        ::SetLastError(static_cast<DWORD>(status));
        return nullptr;
    }
    return handle->subkey;
}

// The value's data in a zero-filled pool block with room for two more NULs, or null.
BYTE* readRawValue(HKEY key, const wchar_t* valueName, DWORD* type, DWORD* bytes) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD size = 0;
        if (::RegQueryValueExW(key, valueName, nullptr, type, nullptr, &size) != ERROR_SUCCESS) return nullptr;
        auto* data = static_cast<BYTE*>(poolAlloc(MainPool, size + 2 * sizeof(wchar_t) + 1));
        if (!data) return nullptr;
        const LSTATUS status = ::RegQueryValueExW(key, valueName, nullptr, type, data, &size);
        if (status == ERROR_SUCCESS) {
            *bytes = size;
            return data;
        }
        poolFree(data);
        if (status != ERROR_MORE_DATA) return nullptr;
    }
    return nullptr;
}

BOOL finish(LSTATUS status) {
    ::SetLastError(static_cast<DWORD>(status));
    return status == ERROR_SUCCESS;
}

}  // namespace

RegistryHandle* openServiceRegistry(REGSAM access, const wchar_t* serviceName) {
    if (!serviceName || !*serviceName || std::wcslen(serviceName) > LongestServiceName) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const bool create = (access & KEY_CREATE_SUB_KEY) != 0;
    brisko::UniqueKey service, parameters, scm, scmParameters;
    wchar_t path[KeyPathChars];
    _snwprintf(path, KeyPathChars, L"SOFTWARE\\%s\\%s", ProductKey, serviceName);
    path[KeyPathChars - 1] = L'\0';
    LSTATUS status = openKey(HKEY_LOCAL_MACHINE, path, access, create, service.put());
    if (status == ERROR_SUCCESS) status = openKey(service.get(), L"Parameters", access, create, parameters.put());
    if (status == ERROR_SUCCESS) {
        _snwprintf(path, KeyPathChars, L"SYSTEM\\CurrentControlSet\\Services\\%s", serviceName);
        path[KeyPathChars - 1] = L'\0';
        status = openKey(HKEY_LOCAL_MACHINE, path, access, false, scm.put());
    }
    if (status == ERROR_SUCCESS) status = openKey(scm.get(), L"Parameters", access, create, scmParameters.put());
    if (status != ERROR_SUCCESS) {
        ::SetLastError(static_cast<DWORD>(status));
        return nullptr;
    }
    auto* handle = createTypedHandle<RegistryHandle>(MainPool, HANDLE_TYPE_REGISTRY, 0, registryHandleCallback);
    if (!handle) return nullptr;
    handle->access = access;
    handle->serviceKey = service.release();
    handle->parametersKey = parameters.release();
    handle->scmKey = scm.release();
    handle->scmParametersKey = scmParameters.release();
    ::SetLastError(ERROR_SUCCESS);
    return handle;
}

wchar_t* readString(RegistryHandle* handle, int kind, const wchar_t* subkey, const wchar_t* valueName) {
    const HKEY key = valueKey(handle, kind, subkey, false);
    DWORD type = 0;
    DWORD bytes = 0;
    BYTE* data = key ? readRawValue(key, valueName, &type, &bytes) : nullptr;
    if (data && (type != REG_SZ || bytes < sizeof(wchar_t) || reinterpret_cast<wchar_t*>(data)[0] == L'\0')) {
        poolFree(data);
        data = nullptr;
    }
    return reinterpret_cast<wchar_t*>(data);
}

LONG readNumber(RegistryHandle* handle, int kind, const wchar_t* subkey, const wchar_t* valueName, LONG fallback) {
    const HKEY key = valueKey(handle, kind, subkey, false);
    DWORD type = 0;
    DWORD value = 0;
    DWORD bytes = sizeof(value);
    if (!key || ::RegQueryValueExW(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(&value), &bytes) !=
                    ERROR_SUCCESS ||
        type != REG_DWORD || bytes != sizeof(value))
        return fallback;
    return static_cast<LONG>(value);
}

wchar_t* readMulti(RegistryHandle* handle, int kind, const wchar_t* subkey, const wchar_t* valueName, LONG* bytes) {
    *bytes = 0;
    const HKEY key = valueKey(handle, kind, subkey, false);
    DWORD type = 0;
    DWORD size = 0;
    BYTE* data = key ? readRawValue(key, valueName, &type, &size) : nullptr;
    if (!data) return nullptr;
    auto* list = reinterpret_cast<wchar_t*>(data);
    if (list[0] == L'\0') {
        poolFree(data);
        return nullptr;
    }
    // Whatever was stored, the list in memory ends with two NULs and its size says so.
    *bytes = packedListBytes(list);
    return list;
}

BOOL writeString(RegistryHandle* handle, const wchar_t* subkey, const wchar_t* valueName, const wchar_t* value) {
    const HKEY key = valueKey(handle, KEY_KIND_PARAMETERS, subkey, true);
    if (!key) return FALSE;
    if (!value || !*value) {
        const LSTATUS status = ::RegDeleteValueW(key, valueName);
        return finish(status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status);
    }
    const auto bytes = static_cast<DWORD>((std::wcslen(value) + 1) * sizeof(wchar_t));
    return finish(::RegSetValueExW(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), bytes));
}

BOOL writeNumber(RegistryHandle* handle, const wchar_t* subkey, const wchar_t* valueName, LONG value) {
    const HKEY key = valueKey(handle, KEY_KIND_PARAMETERS, subkey, true);
    if (!key) return FALSE;
    const auto data = static_cast<DWORD>(value);
    return finish(::RegSetValueExW(key, valueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof(data)));
}

BOOL writeMulti(RegistryHandle* handle, const wchar_t* subkey, const wchar_t* valueName, const wchar_t* value,
                LONG bytes) {
    const HKEY key = valueKey(handle, KEY_KIND_PARAMETERS, subkey, true);
    if (!key) return FALSE;
    static const wchar_t EmptyList[2] = {L'\0', L'\0'};
    if (!value || bytes < static_cast<LONG>(sizeof(EmptyList))) {
        value = EmptyList;
        bytes = sizeof(EmptyList);
    }
    return finish(::RegSetValueExW(key, valueName, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(value),
                                   static_cast<DWORD>(bytes)));
}

BOOL queryStringValue(const wchar_t* path, const wchar_t* valueName, wchar_t* out, DWORD bytes) {
    out[0] = L'\0';
    brisko::UniqueKey key;
    LSTATUS status = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, key.put());
    if (status != ERROR_SUCCESS) return finish(status);
    DWORD type = 0;
    DWORD size = bytes - sizeof(wchar_t);
    status = ::RegQueryValueExW(key.get(), valueName, nullptr, &type, reinterpret_cast<BYTE*>(out), &size);
    if (status == ERROR_SUCCESS && type != REG_SZ) status = ERROR_FILE_NOT_FOUND;
    if (status != ERROR_SUCCESS) {
        out[0] = L'\0';
        return finish(status);
    }
    out[size / sizeof(wchar_t)] = L'\0';
    return TRUE;
}
