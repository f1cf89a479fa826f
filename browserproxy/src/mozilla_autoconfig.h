#pragma once
// Firefox and SeaMonkey installations found through the registry, and the autoconfig and
// default-preferences files the system places in each. The files' content is the caller's.
#include <filesystem>
#include <functional>

namespace brisko {

// Where the default-preferences file lives inside an installation directory.
inline constexpr wchar_t kDefaultPreferencesFile[] = L"defaults/pref/velmora.js";

// Answers "go on".
using InstallDirCallback = std::function<bool(const std::filesystem::path& directory)>;

// Offers each installation directory once, lower-cased and ending with its separator: the
// registered commands of firefox.exe and seamonkey.exe (application keys, StartMenuInternet, App
// Paths), then every "PathToExe" naming one of them under SOFTWARE\Mozilla in the 32-bit and
// then the 64-bit view. A false answer during the registered commands ends the search.
void ForEachMozillaInstallDir(const InstallDirCallback& callback);

// An autoconfig name the operations below write and delete: a plain file name, with no
// directory, drive, "." or ".." and no ":" (on NTFS "name:stream" is a stream of the file "name").
bool IsPlainAutoconfigName(const std::filesystem::path& name);

// Copies the two source files into the directory, over what is there, when they exist; errors
// are ignored and the answer is always true (go on). An autoconfig name that is not a plain file
// name is never written.
bool InstallFirefoxAutoconfig(const std::filesystem::path& directory, const std::filesystem::path& autoconfigSource,
                              const std::filesystem::path& preferencesSource,
                              const std::filesystem::path& autoconfigName);

// Deletes the two files from the directory, ignoring errors; always true (go on). An autoconfig
// name that is not a plain file name is never deleted.
bool RemoveFirefoxAutoconfig(const std::filesystem::path& directory, const std::filesystem::path& autoconfigName);

}  // namespace brisko
