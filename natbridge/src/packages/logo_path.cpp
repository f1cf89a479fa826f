#include "packages/logo_path.h"

#include <algorithm>
#include <array>

namespace brisko {
namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }
bool IsAsciiLetter(wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }
wchar_t AsciiUpper(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

bool EqualIgnoringAsciiCase(std::wstring_view a, std::wstring_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](wchar_t x, wchar_t y) { return AsciiUpper(x) == AsciiUpper(y); });
}

// "X:\" or "X:/" at the start.
bool HasDriveRoot(std::wstring_view path) {
    return path.size() >= 3 && IsAsciiLetter(path[0]) && path[1] == L':' && IsSeparator(path[2]);
}

// A name that Windows opens as a device in any folder, with any extension.
bool IsReservedDeviceName(std::wstring_view name) {
    name = name.substr(0, name.find(L'.'));
    while (!name.empty() && name.back() == L' ') name.remove_suffix(1);
    static constexpr std::wstring_view kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
    if (std::any_of(std::begin(kDevices), std::end(kDevices),
                    [name](std::wstring_view device) { return EqualIgnoringAsciiCase(name, device); }))
        return true;
    if (name.size() != 4) return false;
    const std::wstring_view prefix = name.substr(0, 3);
    const wchar_t digit = name[3];
    const bool port = EqualIgnoringAsciiCase(prefix, L"COM") || EqualIgnoringAsciiCase(prefix, L"LPT");
    return port && ((digit >= L'0' && digit <= L'9') || digit == L'\u00b9' || digit == L'\u00b2' || digit == L'\u00b3');
}

bool IsSafeSegment(std::wstring_view segment) {
    if (segment.back() == L'.' || segment.back() == L' ') return false;
    for (const wchar_t c : segment) {
        if (c < 0x20 || c == L':' || c == L'*' || c == L'?' || c == L'"' || c == L'<' || c == L'>' || c == L'|')
            return false;
    }
    return !IsReservedDeviceName(segment);
}

// The parts of a full drive path after "X:\", with "." and ".." resolved; none when ".." would
// climb above the drive or a part is unsafe.
std::optional<std::vector<std::wstring_view>> DrivePathSegments(std::wstring_view path) {
    if (!HasDriveRoot(path)) return std::nullopt;
    std::vector<std::wstring_view> segments;
    size_t start = 3;
    while (start <= path.size()) {
        size_t end = start;
        while (end < path.size() && !IsSeparator(path[end])) ++end;
        const std::wstring_view segment = path.substr(start, end - start);
        start = end + 1;
        if (segment.empty() || segment == L".") continue;
        if (segment == L"..") {
            if (segments.empty()) return std::nullopt;
            segments.pop_back();
            continue;
        }
        if (!IsSafeSegment(segment)) return std::nullopt;
        segments.push_back(segment);
    }
    return segments;
}

std::wstring WithSuffix(std::wstring_view stem, std::wstring_view qualifier, std::wstring_view extension) {
    return std::wstring(stem) + std::wstring(qualifier) + std::wstring(extension);
}

}  // namespace

std::optional<std::wstring> ContainedLogoPath(std::wstring_view installLocation, std::wstring_view logo) {
    if (logo.empty() || logo.size() > kMaxLogoPathLength) return std::nullopt;
    // Full drive paths are taken as they are; every other rooted form (UNC, "\\?\", "\\.\",
    // "\??\", "\x", "C:x") is refused.
    std::wstring full;
    if (HasDriveRoot(logo))
        full = logo;
    else if (IsSeparator(logo.front()) || logo.find(L':') != std::wstring_view::npos)
        return std::nullopt;
    else
        full = std::wstring(installLocation) + L"\\" + std::wstring(logo);

    // Inside: on the same drive, below every part of the folder, and not the folder itself.
    const auto folder = DrivePathSegments(installLocation);
    const auto file = DrivePathSegments(full);
    if (!folder || !file || file->size() <= folder->size() || AsciiUpper(installLocation[0]) != AsciiUpper(full[0]))
        return std::nullopt;
    for (size_t i = 0; i < folder->size(); ++i)
        if (!EqualIgnoringAsciiCase((*folder)[i], (*file)[i])) return std::nullopt;

    std::wstring path(full.substr(0, 2));
    for (const std::wstring_view segment : *file) path += L"\\" + std::wstring(segment);
    if (path.size() > kMaxLogoPathLength) return std::nullopt;
    return path;
}

std::vector<std::wstring> LogoCandidates(std::wstring_view logo) {
    const size_t slash = logo.find_last_of(L"\\/");
    const std::wstring_view folder = slash == std::wstring_view::npos ? std::wstring_view() : logo.substr(0, slash + 1);
    const std::wstring_view name = logo.substr(folder.size());
    const size_t dot = name.rfind(L'.');
    const std::wstring_view stem = dot == std::wstring_view::npos ? name : name.substr(0, dot);
    const std::wstring_view extension = dot == std::wstring_view::npos ? std::wstring_view() : name.substr(dot);

    std::vector<std::wstring> names{std::wstring(name)};
    for (const wchar_t* scale : {L"100", L"125", L"150", L"200", L"400"})
        names.push_back(WithSuffix(stem, std::wstring(L".scale-") + scale, extension));
    for (const wchar_t* size : {L"16", L"24", L"32", L"48", L"256"})
        names.push_back(WithSuffix(stem, std::wstring(L".targetsize-") + size, extension));

    // The language folders: French, in which the package's strings are read, then the usual
    // default language of packages.
    static constexpr std::array<std::wstring_view, 9> kFolders{
        L"", L"contrast-standard\\", L"contrast-high\\", L"contrast-black\\", L"contrast-white\\",
        L"fr-FR\\", L"fr\\", L"en-US\\", L"en\\"};
    std::vector<std::wstring> candidates;
    candidates.reserve(kFolders.size() * names.size());
    for (const std::wstring_view qualifier : kFolders)
        for (const std::wstring& file : names)
            candidates.push_back(std::wstring(folder) + std::wstring(qualifier) + file);
    return candidates;
}

}  // namespace brisko
