#pragma once
// The agent's hidden windows use classes registered once per process, before WinMain runs.
#include <windows.h>

namespace brisko {

// Registers a class with only a procedure and a name; the process ends with exit code 1 when
// that fails, since none of the agent's windows could then exist. Returns true for use as a
// static initialiser.
bool registerWindowClass(const wchar_t* name, WNDPROC procedure);

}  // namespace brisko
