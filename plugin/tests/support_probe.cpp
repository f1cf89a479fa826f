// Loads Support.dll from beside it and calls both firewall exports, as a setup program would.
// The exit code says what happened: 0x100 the plug-in did not load; otherwise bit 0 install
// failed, bit 1 uninstall failed, bit 2 FWPUCLNT.DLL is loaded in the process.
#include "support_library.h"

int main() {
    const brisko::testing::SupportLibrary support;
    if (!support.loaded()) return 0x100;
    int code = 0;
    if (support.installProvider(3128, 3129) != 0) code |= 1;
    if (support.uninstallProvider() != 0) code |= 2;
    if (::GetModuleHandleW(L"fwpuclnt.dll") != nullptr) code |= 4;
    return code;
}
