#include "opera_prefs.h"

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include <optional>

#include "unique_memory.h"

namespace brisko {
namespace {

namespace fs = std::filesystem;

constexpr wchar_t kFileName[] = L"operaprefs_fixed.ini";

std::optional<fs::path> knownFolder(REFKNOWNFOLDERID folder) {
    UniqueTaskMemory<wchar_t*> path;
    const HRESULT result = ::SHGetKnownFolderPath(folder, 0, nullptr, path.put());
    if (FAILED(result) || !path) return std::nullopt;
    return fs::path(path.get());
}

bool underWow64() {
    BOOL wow64 = FALSE;
    return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}

}  // namespace

void ForEachOperaFixedPrefsFile(const std::function<void(const fs::path& file)>& callback) {
    if (!underWow64()) {
        if (const auto system = knownFolder(FOLDERID_System)) callback(*system / kFileName);
        return;
    }
    // A 32-bit process's system folder is redirected to the 32-bit one; Sysnative names the
    // 64-bit system folder to such a process.
    if (const auto windows = knownFolder(FOLDERID_Windows)) callback(*windows / L"Sysnative" / kFileName);
    if (const auto systemX86 = knownFolder(FOLDERID_SystemX86)) callback(*systemX86 / kFileName);
}

}  // namespace brisko
