#pragma once
// The registry keys of one service: the runner's own key with its "Parameters", and the
// service control manager's key of the service.
#include <windows.h>

#include "foundation/pool.h"

// Kind codes of the keys a registry handle holds; 4 and 64 are reserved and hold nothing.
enum RegistryKeyKind {
    KEY_KIND_SERVICE = 1,
    KEY_KIND_SCM = 2,
    KEY_KIND_PARAMETERS = 16,
    KEY_KIND_SCM_PARAMETERS = 32,
};

struct RegistryHandle {
    Handle head;
    REGSAM access;
    HKEY serviceKey;
    HKEY scmKey;
    HKEY parametersKey;
    HKEY scmParametersKey;
    // Reopened for every read or write that names a subkey.
    HKEY subkey;
};

constexpr wchar_t ProductKey[] = L"Ostrel Software Foundation\\Wendrow 2.0";
constexpr size_t LongestServiceName = 255;

// Reading needs all four keys; with the create-subkey right (KEY_WRITE) the runner's keys are
// created and only the service control manager's key of the service must exist. On failure
// the last-error code tells why.
RegistryHandle* openServiceRegistry(REGSAM access, const wchar_t* serviceName);

// Values that are missing or of another type read as null (strings, lists) or the fallback
// (numbers).
// Strings and lists are copies in the main pool; a list always ends with two NULs.
wchar_t* readString(RegistryHandle* handle, int kind, const wchar_t* subkey, const wchar_t* valueName);
LONG readNumber(RegistryHandle* handle, int kind, const wchar_t* subkey, const wchar_t* valueName, LONG fallback);
wchar_t* readMulti(RegistryHandle* handle, int kind, const wchar_t* subkey, const wchar_t* valueName, LONG* bytes);

// Writes go below the runner's "Parameters" key. An empty string removes the value.
BOOL writeString(RegistryHandle* handle, const wchar_t* subkey, const wchar_t* valueName, const wchar_t* value);
BOOL writeNumber(RegistryHandle* handle, const wchar_t* subkey, const wchar_t* valueName, LONG value);
BOOL writeMulti(RegistryHandle* handle, const wchar_t* subkey, const wchar_t* valueName, const wchar_t* value,
                LONG bytes);

// A REG_SZ value of HKEY_LOCAL_MACHINE\path that fits the buffer, or FALSE.
BOOL queryStringValue(const wchar_t* path, const wchar_t* valueName, wchar_t* out, DWORD bytes);
