#include "opera_prefs.h"

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include "unique_memory.h"

namespace brisko {
namespace {

namespace fs = std::filesystem;

void offerInKnownFolder(REFKNOWNFOLDERID folder, const std::function<void(const fs::path&)>& callback) {
    UniqueTaskMemory<wchar_t*> path;
    const HRESULT result = ::SHGetKnownFolderPath(folder, 0, nullptr, path.put());
    if (FAILED(result) || !path) return;
    callback(fs::path(path.get()) / L"operaprefs_fixed.ini");
}

}  // namespace

void ForEachOperaFixedPrefsFile(const std::function<void(const fs::path& file)>& callback) {
    offerInKnownFolder(FOLDERID_System, callback);
    BOOL wow64 = FALSE;
    if (::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64) offerInKnownFolder(FOLDERID_SystemX86, callback);
}

}  // namespace brisko
