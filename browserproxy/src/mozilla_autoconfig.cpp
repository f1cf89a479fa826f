#include "mozilla_autoconfig.h"

#include <windows.h>

#include <cwchar>
#include <cwctype>
#include <set>
#include <string>

#include "install_dir.h"
#include "registry.h"
#include "unique_handle.h"

namespace brisko {
namespace {

namespace fs = std::filesystem;

struct CommandSource {
    HKEY root;
    const wchar_t* key;
};

const CommandSource kCommandSources[] = {
    {HKEY_CLASSES_ROOT, L"Applications\\firefox.exe\\shell\\open\\command"},
    {HKEY_CLASSES_ROOT, L"Applications\\seamonkey.exe\\shell\\open\\command"},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Clients\\StartMenuInternet\\firefox.exe\\shell\\open\\command"},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Clients\\StartMenuInternet\\seamonkey.exe\\shell\\open\\command"},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\firefox.exe"},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\seamonkey.exe"},
};
constexpr wchar_t kMozillaKey[] = L"SOFTWARE\\Mozilla";

// Reports each directory of one search once.
class DirectorySearch {
public:
    explicit DirectorySearch(const InstallDirCallback& callback) : callback_(callback) {}

    bool offer(const wchar_t* command) {
        const auto found = InstallDirFromCommand(command);
        if (!found) return true;
        std::wstring directory(*found);
        for (wchar_t& unit : directory) unit = static_cast<wchar_t>(std::towlower(unit));
        if (!reported_.insert(directory).second) return true;
        return callback_(fs::path(directory));
    }

    void offerMozillaKeys(RegistryView view) {
        UniqueKey mozilla;
        if (OpenKey(HKEY_LOCAL_MACHINE, kMozillaKey, KEY_READ, view, mozilla.put()) != ERROR_SUCCESS) return;
        ForEachSubkey(
            mozilla.get(),
            [this](HKEY key) {
                const MallocPtr<wchar_t> path = ReadStringValue(key, nullptr, L"PathToExe");
                if (!path) return true;
                ::CharLowerBuffW(path.get(), static_cast<DWORD>(std::wcslen(path.get())));
                if (!std::wcsstr(path.get(), L"firefox.exe") && !std::wcsstr(path.get(), L"seamonkey.exe")) return true;
                return offer(path.get());
            },
            view);
    }

private:
    const InstallDirCallback& callback_;
    std::set<std::wstring> reported_;
};

void copyIfPresent(const fs::path& source, const fs::path& destination) {
    std::error_code error;
    if (const auto status = fs::status(source, error); error) return;
    // Not std::filesystem::copy_file: mingw's libstdc++ takes any two files for the same one
    // (no inode numbers on Windows) and never overwrites.
    ::CopyFileW(source.c_str(), destination.c_str(), FALSE);
}

}  // namespace

// The caller names the autoconfig file; a name with a directory part, a drive or dots would
// reach outside the installation directory (or be the directory itself).
bool IsPlainAutoconfigName(const fs::path& name) {
    return !name.empty() && !name.has_root_path() && !name.has_parent_path() && name != L"." && name != L".." &&
           name.native().find(L':') == fs::path::string_type::npos;
}

void ForEachMozillaInstallDir(const InstallDirCallback& callback) {
    DirectorySearch search(callback);
    for (const CommandSource& source : kCommandSources) {
        const MallocPtr<wchar_t> command = ReadStringValue(source.root, source.key, nullptr);
        if (command && !search.offer(command.get())) return;
    }
    search.offerMozillaKeys(RegistryView::Registry32);
    search.offerMozillaKeys(RegistryView::Registry64);
}

bool InstallFirefoxAutoconfig(const fs::path& directory, const fs::path& autoconfigSource,
                              const fs::path& preferencesSource, const fs::path& autoconfigName) {
    copyIfPresent(preferencesSource, directory / kDefaultPreferencesFile);
    if (IsPlainAutoconfigName(autoconfigName)) copyIfPresent(autoconfigSource, directory / autoconfigName);
    return true;
}

bool RemoveFirefoxAutoconfig(const fs::path& directory, const fs::path& autoconfigName) {
    std::error_code error;
    if (IsPlainAutoconfigName(autoconfigName)) fs::remove(directory / autoconfigName, error);
    fs::remove(directory / kDefaultPreferencesFile, error);
    return true;
}

}  // namespace brisko
