#pragma once
// The registry layer every settings operation goes through: plain Win32 calls, Win32 codes back,
// no exceptions. Every key opened inside an operation is closed before it returns.
#include <windows.h>

#include <cstdint>
#include <functional>

#include "heap_memory.h"

namespace brisko {

// Which registry a 32-bit process sees on 64-bit Windows. Any other value selects nothing.
enum class RegistryView : int { Default = 0, Registry32 = 1, Registry64 = 2 };

// The access mask with the view's KEY_WOW64_* flag added.
REGSAM WithView(REGSAM access, RegistryView view);

// Values read by this layer live in a buffer of this size; a value this large or larger reads as
// absent.
constexpr DWORD kValueBufferSize = 1024;
// Capacity, in UTF-16 code units, for key and value names during enumeration.
constexpr DWORD kNameCapacity = 512;

// A key handed to a callback is valid only during the call; the answer is "go on".
using KeyCallback = std::function<bool(HKEY key)>;

LSTATUS OpenKey(HKEY root, const wchar_t* subkey, REGSAM access, RegistryView view, HKEY* key);

// With no subkey the value is set on root itself and the view is unused. With a subkey, missing
// keys on the path are created; when that fails nothing is written and the answer is 0.
LSTATUS WriteValue(HKEY root, const wchar_t* subkey, const wchar_t* name, DWORD type, const void* data, DWORD size,
                   RegistryView view);
// REG_SZ with its terminating NUL stored.
LSTATUS WriteStringValue(HKEY root, const wchar_t* subkey, const wchar_t* name, const wchar_t* text,
                         RegistryView view);
// -1 when the key cannot be opened (also when it is missing), else the RegDeleteValueW result.
LSTATUS DeleteValue(HKEY root, const wchar_t* subkey, const wchar_t* name, RegistryView view);
// With no subkey root itself is queried.
LSTATUS QueryValue(HKEY root, const wchar_t* subkey, const wchar_t* name, DWORD* type, void* buffer, DWORD* size,
                   RegistryView view);

// A REG_SZ or REG_EXPAND_SZ value (unexpanded), always NUL-terminated; null when absent, of
// another type or 1024 bytes or more. A null name reads the key's default value.
MallocPtr<wchar_t> ReadStringValue(HKEY root, const wchar_t* subkey, const wchar_t* name);
// A REG_BINARY value of the open key; null when absent, of another type or 1024 bytes or more.
MallocPtr<uint8_t> ReadBinaryValue(HKEY key, const wchar_t* name, DWORD* size = nullptr);

// Every subkey at every depth, a parent before its children. A false answer stops the walk of
// that key's level only; the level above goes on with its next sibling.
void ForEachSubkey(HKEY key, const KeyCallback& callback, RegistryView view);

// Every subkey of HKEY_USERS that opens for writing in the 32-bit view (loaded user hives,
// .DEFAULT, service accounts, per-user classes hives). Subkeys that deny access are skipped;
// 0 at the end or on a false answer, else the Win32 error that ended the walk.
LSTATUS ForEachUserRoot(const KeyCallback& callback);

// How ForEachUserRoot opens each subkey; the parameter lets tests deny access to some of them.
using SubkeyOpener = LSTATUS (*)(HKEY parent, const wchar_t* name, HKEY* key);
LSTATUS ForEachWritableSubkey(HKEY parent, SubkeyOpener open, const KeyCallback& callback);

// Enables SeRestorePrivilege in the process token. True once an adjust call has succeeded, even
// when the token does not hold the privilege; a failed attempt is tried again on the next call.
bool EnableRestorePrivilege();

}  // namespace brisko
