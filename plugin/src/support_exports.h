#pragma once
// The plug-in's interface with the setup program: plain cdecl functions under their undecorated
// names (support.def), 8-bit strings and 32-bit integers in, results as return values.
#include <windows.h>

extern "C" {

// 1 when password hashes to storedHash ("bcrypt$" + a bcrypt string), else 0: the whole 32-bit
// result, so that a caller that declares it int or BOOL reads it right, as one that reads only
// the low byte does.
int __cdecl CheckPassword(const char* password, const char* storedHash) noexcept;

// Each port travels in the low 16 bits of its argument; 0 adds no filter for it.
// Answer 0, or the first failing firewall result; the load's error when the system's firewall
// library or one of its functions is missing (0 before Windows 8, which has nothing to do).
DWORD __cdecl InstallProvider(DWORD firstPort, DWORD secondPort) noexcept;
DWORD __cdecl UninstallProvider() noexcept;

// 1 when a known browser of the console user runs, else 0 (also when the search failed).
int __cdecl BrowserRunning() noexcept;

// Removes every proxy and browser setting the product forced, for every loaded user.
void __cdecl UnlockProxies() noexcept;

}
