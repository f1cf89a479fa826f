// A stand-in setup program run from a folder that also holds DLLs named like system DLLs, as a
// download folder may. It never calls SetDefaultDllDirectories: the plug-in alone decides where
// its DLLs come from.
//
// With no argument it loads Support.dll from beside it and calls every export once. Exit code:
// 0x100 the plug-in did not load; otherwise bit 0 a firewall export failed (the double in the
// system folder answers 0), bit 1 CheckPassword did not answer 1 for a right password.
// With "by-name NAME..." it loads each NAME by the standard search order instead, and answers
// the number that did not load.
#include <cwchar>

#include "support_library.h"

namespace {

int CallEveryExport() {
    const brisko::testing::SupportLibrary support;
    if (!support.loaded()) return 0x100;
    int code = 0;
    if (support.installProvider(3128, 3129) != 0 || support.uninstallProvider() != 0) code |= 1;
    if (support.checkPassword("hunter2", "bcrypt$$2b$04$HarbeeSetupPasswordSaOjyLLy.7tAi5wr.ccIUXWoYvDFoBlmN.") != 1)
        code |= 2;
    support.browserRunning();
    support.unlockProxies();
    return code;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return CallEveryExport();
    if (std::wcscmp(argv[1], L"by-name") != 0) return 0x200;
    int missing = 0;
    for (int i = 2; i < argc; ++i)
        if (!::LoadLibraryW(argv[i])) ++missing;
    return missing;
}
