#include "packaged_process.h"

#include "lazy_entry.h"

namespace brisko {
namespace {

using IsImmersiveProcessFunction = BOOL(WINAPI*)(HANDLE process);
using GetPackageFamilyNameFunction = LONG(WINAPI*)(HANDLE process, UINT32* length, PWSTR name);

// Recorded when the plug-in loads, resolved on first use.
LazyEntry isImmersiveProcess(L"user32.dll", "IsImmersiveProcess");
LazyEntry getPackageFamilyName(L"Kernel32.dll", "GetPackageFamilyName");

}  // namespace

bool IsPackagedProcess(HANDLE process) {
    if (const auto isImmersive = isImmersiveProcess.get<IsImmersiveProcessFunction>())
        if (isImmersive(process)) return true;
    if (const auto familyName = getPackageFamilyName.get<GetPackageFamilyNameFunction>()) {
        // Asking for the length alone: only a process with a package identity has a name to give.
        UINT32 length = 0;
        if (familyName(process, &length, nullptr) == ERROR_INSUFFICIENT_BUFFER) return true;
    }
    return false;
}

}  // namespace brisko
