// Before Windows 8 the plug-in leaves the filtering platform alone: both firewall exports
// succeed without loading FWPUCLNT.DLL. Wine reports a chosen Windows version to a program
// named under HKCU\Software\Wine\AppDefaults, so the probe runs as Windows 7 beside the
// recording FWPUCLNT.DLL.
#include <gtest/gtest.h>

#include <optional>

#include "test_processes.h"

namespace brisko::testing {
namespace {

constexpr wchar_t kProbeDefaults[] = L"Software\\Wine\\AppDefaults\\support_probe.exe";

class ReportedVersion {
public:
    explicit ReportedVersion(const wchar_t* version) {
        ::RegSetKeyValueW(HKEY_CURRENT_USER, kProbeDefaults, L"Version", REG_SZ, version,
                          static_cast<DWORD>((::lstrlenW(version) + 1) * sizeof(wchar_t)));
    }
    ~ReportedVersion() { ::RegDeleteTreeW(HKEY_CURRENT_USER, kProbeDefaults); }
};

std::optional<DWORD> RunProbe() {
    ChildProcess probe = ChildProcess::sibling(L"support_probe.exe");
    if (!probe) return std::nullopt;
    return probe.waitForExit();
}

TEST(OlderWindows, FirewallExportsSucceedWithoutTheFilteringPlatform) {
    const ReportedVersion windows7(L"win7");
    EXPECT_EQ(RunProbe(), 0u);
}

TEST(OlderWindows, Windows10LoadsTheFilteringPlatform) {
    const ReportedVersion windows10(L"win10");
    EXPECT_EQ(RunProbe(), 4u);  // both exports succeed against the double, which is loaded
}

}  // namespace
}  // namespace brisko::testing
