#include "identification/application_naming.h"

namespace brisko {

std::wstring desktopIdentifier(std::wstring_view executableName) {
    std::wstring identifier(kDesktopPrefix);
    identifier += executableName;
    for (wchar_t& c : identifier) {
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    }
    return identifier;
}

std::wstring packagedIdentifier(std::wstring_view packageFamilyName) {
    std::wstring identifier(kPackagedPrefix);
    identifier += packageFamilyName;
    return identifier;
}

std::wstring_view lastPathComponent(std::wstring_view path) {
    const size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring_view::npos ? path : path.substr(separator + 1);
}

ExecutableNames chooseExecutableNames(std::wstring_view imagePath, std::wstring_view originalFileName,
                                      std::wstring_view fileDescription, std::wstring_view productName) {
    const std::wstring_view fileName = lastPathComponent(imagePath);
    const std::wstring_view executable = originalFileName.empty() ? fileName : originalFileName;
    std::wstring_view display = fileDescription.empty() ? productName : fileDescription;
    if (display.empty()) display = fileName;
    return {desktopIdentifier(executable), std::wstring(display)};
}

bool takesParentIdentity(std::wstring_view identifier, std::wstring_view parentIdentifier) {
    return identifier == L"win32:javaw.exe" && !parentIdentifier.empty() &&
           parentIdentifier != L"win32:explorer.exe" && parentIdentifier != L"win32:cmd.exe";
}

}  // namespace brisko
