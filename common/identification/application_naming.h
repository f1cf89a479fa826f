#pragma once
// The naming rules of application identification, apart from the calls that gather their input.
// Every text here comes from a file the child may have written, so what leaves these rules is a
// plausible file name and a display name fit for the parents' screen and the core's log.
#include <string>
#include <string_view>

namespace brisko {

inline constexpr std::wstring_view kDesktopPrefix = L"win32:";
inline constexpr std::wstring_view kPackagedPrefix = L"winpkg:";
inline constexpr std::wstring_view kFrameHostId = L"AppStoreHost";
inline constexpr std::wstring_view kFrameHostName = L"App Store Host";

// The longest file name Windows file systems keep, and the longest display name, in UTF-16 units.
inline constexpr size_t kMaxFileNameLength = 255;
inline constexpr size_t kMaxDisplayNameLength = 256;

struct ExecutableNames {
    std::wstring identifier;
    std::wstring displayName;
};

// "win32:" + the executable name lowered by the invariant locale's full Unicode rules.
std::wstring desktopIdentifier(std::wstring_view executableName);

std::wstring packagedIdentifier(std::wstring_view packageFamilyName);

// The characters after the last "\" or "/".
std::wstring_view lastPathComponent(std::wstring_view path);

// Control and format characters (bidirectional controls among them), and halves of surrogate
// pairs that stand alone.
bool hasUnprintable(std::wstring_view text);

// Without trailing spaces and dots, which Windows drops from a file name when it opens it.
std::wstring_view trimFileName(std::wstring_view name);

// A version resource's OriginalFilename that names a file: trimmed, not empty, no longer than a
// file name, nothing unprintable, no path separator and none of :*?"<>|. Empty when it is not.
std::wstring_view plausibleFileName(std::wstring_view originalFileName);

// Unprintable characters removed, then cut to kMaxDisplayNameLength without splitting a pair.
std::wstring cleanDisplayName(std::wstring_view name);

// The version resource's names where they are plausible (FileDescription before ProductName),
// the image's own file name for whatever is missing.
ExecutableNames chooseExecutableNames(std::wstring_view imagePath, std::wstring_view originalFileName,
                                      std::wstring_view fileDescription, std::wstring_view productName);

// A Java program runs as javaw.exe: it is named after the program that launched it, unless
// that is the shell or a command prompt (or could not be named).
bool takesParentIdentity(std::wstring_view identifier, std::wstring_view parentIdentifier);

}  // namespace brisko
