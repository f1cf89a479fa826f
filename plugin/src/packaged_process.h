#pragma once
// Store (immersive) processes and processes with a package identity: never counted as browsers.
#include <windows.h>

namespace brisko {

// Not packaged also where neither IsImmersiveProcess nor GetPackageFamilyName exists (before
// Windows 8).
bool IsPackagedProcess(HANDLE process);

}  // namespace brisko
