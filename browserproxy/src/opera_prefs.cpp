#include "opera_prefs.h"

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include <memory>

namespace brisko {
namespace {

namespace fs = std::filesystem;

struct CoTaskMemDeleter {
    void operator()(wchar_t* text) const noexcept { ::CoTaskMemFree(text); }
};

void offerInKnownFolder(REFKNOWNFOLDERID folder, const std::function<void(const fs::path&)>& callback) {
    wchar_t* raw = nullptr;
    const HRESULT result = ::SHGetKnownFolderPath(folder, 0, nullptr, &raw);
    const std::unique_ptr<wchar_t, CoTaskMemDeleter> path(raw);
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
