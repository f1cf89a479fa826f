#pragma once
// The naming rules of application identification, apart from the calls that gather their input.
#include <string>
#include <string_view>

namespace brisko {

inline constexpr std::wstring_view kDesktopPrefix = L"win32:";
inline constexpr std::wstring_view kPackagedPrefix = L"winpkg:";
inline constexpr std::wstring_view kFrameHostId = L"AppStoreHost";
inline constexpr std::wstring_view kFrameHostName = L"App Store Host";

struct ExecutableNames {
    std::wstring identifier;
    std::wstring displayName;
};

// "win32:" + the executable name, ASCII letters lowered and nothing else touched.
std::wstring desktopIdentifier(std::wstring_view executableName);

std::wstring packagedIdentifier(std::wstring_view packageFamilyName);

// The characters after the last "\" or "/".
std::wstring_view lastPathComponent(std::wstring_view path);

// Version-resource names first (FileDescription before ProductName), the image's file name
// for whatever is missing.
ExecutableNames chooseExecutableNames(std::wstring_view imagePath, std::wstring_view originalFileName,
                                      std::wstring_view fileDescription, std::wstring_view productName);

// A Java program runs as javaw.exe: it is named after the program that launched it, unless
// that is the shell or a command prompt (or could not be named).
bool takesParentIdentity(std::wstring_view identifier, std::wstring_view parentIdentifier);

}  // namespace brisko
