#include "ui/parents_settings.h"

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include "resource_ids.h"
#include "ui/resource_text.h"
#include "unique_memory.h"

namespace brisko {

std::optional<std::wstring> parentsSettingsPath(std::wstring_view programFiles, std::wstring_view program) {
    if (programFiles.empty() || program.empty()) return std::nullopt;
    std::wstring path(programFiles);
    path += L'\\';
    path += program;
    if (path.size() >= kParentsSettingsPathCapacity) return std::nullopt;
    return path;
}

// The x86 folder is what a 32-bit program is given for Program Files on 64-bit Windows, and the
// only one on 32-bit Windows; naming it keeps a 64-bit build of the agent looking in the same place.
void launchParentsSettings(HINSTANCE instance) {
    UniqueTaskMemory<wchar_t*> folder;
    const HRESULT found = ::SHGetKnownFolderPath(FOLDERID_ProgramFilesX86, 0, nullptr, folder.put());
    if (FAILED(found) || !folder) return;
    const std::optional<std::wstring> path =
        parentsSettingsPath(folder.get(), loadResourceString(instance, IDS_PARENTS_SETTINGS_PROGRAM));
    if (!path) return;
    ::ShellExecuteW(nullptr, L"open", path->c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace brisko
