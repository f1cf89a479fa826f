#pragma once
// The account names BrowserRunning compares: the console session's user and a process's user.
#include <windows.h>

#include "heap_memory.h"

namespace brisko {

// Account names fit in 128 UTF-16 code units, NUL included.
inline constexpr DWORD kAccountNameCapacity = 128;

// The user name of the active console session: empty at the logon screen, null when there is no
// console session or the name cannot be read.
MallocPtr<wchar_t> GetConsoleUserName();

// The account of the process token's user, name and domain. 0 or a Win32 error.
DWORD GetProcessUserName(HANDLE process, wchar_t* name, DWORD nameCapacity, wchar_t* domain, DWORD domainCapacity);

}  // namespace brisko
