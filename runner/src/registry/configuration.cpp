#include "registry/configuration.h"

#include <cwchar>
#include <initializer_list>

#include "foundation/log.h"
#include "options/value_syntax.h"
#include "registry/registry.h"
#include "unique_handle.h"

namespace {

constexpr DWORD SubkeyNameChars = 512;
constexpr DWORD ExpandedChars = 32768;

const wchar_t* expandReferences(const wchar_t* value) {
    if (!value || !std::wcschr(value, L'%')) return value;
    auto* expanded = static_cast<wchar_t*>(poolAlloc(MainPool, ExpandedChars * sizeof(wchar_t)));
    if (!expanded) return value;
    const DWORD length = ::ExpandEnvironmentStringsW(value, expanded, ExpandedChars);
    if (length == 0 || length > ExpandedChars) {
        poolFree(expanded);
        return value;
    }
    return expanded;
}

void loadRow(RegistryHandle* registry, OptionEntry* row) {
    const int kind = (row->flags & OPT_PARAMETERS) ? KEY_KIND_PARAMETERS : KEY_KIND_SCM;
    if (row->flags & OPT_SET) {
        if ((row->flags & (OPT_MULTI | OPT_APPEND)) != (OPT_MULTI | OPT_APPEND)) return;
        LONG storedBytes = 0;
        wchar_t* stored = readMulti(registry, kind, row->subkey, row->valueName, &storedBytes);
        LONG bytes = 0;
        // Entries from the environment come with every run: those already stored are not added
        // again, or every update would store them once more.
        wchar_t* joined = (row->flags & OPT_FROM_ENVIRONMENT)
                              ? joinNewEntries(MainPool, stored, row->stringValue, &bytes)
                              : joinLists(MainPool, stored, row->stringValue, &bytes);
        if (joined) {
            row->stringValue = joined;
            row->numberValue = bytes;
        }
        poolFree(stored);
    } else if (row->flags & OPT_STRING) {
        row->stringValue = expandReferences(readString(registry, kind, row->subkey, row->valueName));
    } else if (row->flags & OPT_NUMBER) {
        // A number the registry does not hold keeps the row's initial value (LogJniMessages 1).
        row->numberValue = readNumber(registry, kind, row->subkey, row->valueName, row->numberValue);
    } else if (row->flags & OPT_MULTI) {
        LONG bytes = 0;
        row->stringValue = readMulti(registry, kind, row->subkey, row->valueName, &bytes);
        row->numberValue = bytes;
    }
}

BOOL saveRow(RegistryHandle* registry, const OptionEntry* row) {
    if (row->flags & OPT_STRING) return writeString(registry, row->subkey, row->valueName, row->stringValue);
    if (row->flags & OPT_NUMBER) return writeNumber(registry, row->subkey, row->valueName, row->numberValue);
    if (row->flags & OPT_MULTI)
        return writeMulti(registry, row->subkey, row->valueName, row->stringValue, row->numberValue);
    return TRUE;
}

LSTATUS deleteKeyTree(HKEY parent, const wchar_t* name) {
    if (::RegDeleteKeyW(parent, name) == ERROR_SUCCESS) return ERROR_SUCCESS;
    brisko::UniqueKey key;
    LSTATUS status = ::RegOpenKeyExW(parent, name, 0, KEY_READ | DELETE, key.put());
    if (status == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
    if (status != ERROR_SUCCESS) return status;
    for (;;) {
        wchar_t child[SubkeyNameChars + 1];
        DWORD length = SubkeyNameChars + 1;
        status = ::RegEnumKeyExW(key.get(), 0, child, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) return status;
        status = deleteKeyTree(key.get(), child);
        if (status != ERROR_SUCCESS) return status;
    }
    key.reset();
    return ::RegDeleteKeyW(parent, name);
}

}  // namespace

BOOL loadConfiguration(CommandLine* commandLine) {
    const wchar_t* name = commandLine ? commandLine->serviceName : nullptr;
    if (!name || !*name) {
        LOG_WARN("No service name provided");
        return FALSE;
    }
    RegistryHandle* registry = openServiceRegistry(KEY_READ, name);
    if (!registry) {
        if (::GetLastError() == ERROR_FILE_NOT_FOUND)
            LOG_WARN("The system cannot find the Registry key for service '%S'", name);
        else
            LOG_SYSTEM_ERROR();
        return FALSE;
    }
    for (OptionEntry* row = OptionTable; row->name[0]; ++row) {
        if (!(row->flags & OPT_UNSTORED)) loadRow(registry, row);
    }
    closeTypedHandle(registry);
    return TRUE;
}

BOOL saveConfiguration(CommandLine* commandLine) {
    RegistryHandle* registry = openServiceRegistry(KEY_WRITE, commandLine->serviceName);
    if (!registry) return FALSE;
    BOOL saved = TRUE;
    for (const OptionEntry* row = OptionTable; row->name[0]; ++row) {
        if ((row->flags & OPT_SET) && !(row->flags & (OPT_SCM | OPT_UNSTORED))) {
            if (!saveRow(registry, row)) {
                LOG_SYSTEM_ERROR();
                saved = FALSE;
            }
        }
    }
    closeTypedHandle(registry);
    return saved;
}

BOOL deleteServiceRegistry(const wchar_t* serviceName) {
    if (!serviceName || !*serviceName || std::wcslen(serviceName) > LongestServiceName) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    BOOL deleted = FALSE;
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        brisko::UniqueKey software;
        if (::RegOpenKeyExW(root, L"SOFTWARE", 0, KEY_READ, software.put()) != ERROR_SUCCESS) {
            deleted = FALSE;
            continue;
        }
        brisko::UniqueKey product;
        if (::RegOpenKeyExW(software.get(), ProductKey, 0, DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE,
                            product.put()) == ERROR_SUCCESS &&
            deleteKeyTree(product.get(), serviceName) == ERROR_SUCCESS)
            deleted = TRUE;
        product.reset();
        // Only succeeds once no other service's key is left below it.
        ::RegDeleteKeyW(software.get(), ProductKey);
    }
    return deleted;
}
