#include "identification/application_naming.h"

#include "identification/invariant_case.h"

namespace brisko {
namespace {

bool isHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Unicode's control (Cc) and format (Cf) characters, and the line and paragraph separators.
bool isUnprintable(char32_t c) {
    constexpr struct {
        char32_t first, last;
    } kRanges[] = {
        {0x0000, 0x001F},   {0x007F, 0x009F},   {0x00AD, 0x00AD},   {0x0600, 0x0605},   {0x061C, 0x061C},
        {0x06DD, 0x06DD},   {0x070F, 0x070F},   {0x0890, 0x0891},   {0x08E2, 0x08E2},   {0x180E, 0x180E},
        {0x200B, 0x200F},   {0x2028, 0x202E},   {0x2060, 0x2064},   {0x2066, 0x206F},   {0xFEFF, 0xFEFF},
        {0xFFF9, 0xFFFB},   {0x110BD, 0x110BD}, {0x110CD, 0x110CD}, {0x13430, 0x1343F}, {0x1BCA0, 0x1BCA3},
        {0x1D173, 0x1D17A}, {0xE0001, 0xE0001}, {0xE0020, 0xE007F},
    };
    for (const auto& range : kRanges)
        if (c >= range.first && c <= range.last) return true;
    return false;
}

// Calls visit(position, length, printable) for each character: one unit, or a surrogate pair.
template <typename Visit>
void forEachCharacter(std::wstring_view text, Visit&& visit) {
    for (size_t i = 0; i < text.size();) {
        const wchar_t c = text[i];
        if (isHighSurrogate(c) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
            const char32_t point = 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            visit(i, 2, !isUnprintable(point));
            i += 2;
        } else {
            visit(i, 1, !isHighSurrogate(c) && !isLowSurrogate(c) && !isUnprintable(c));
            ++i;
        }
    }
}

// The printable characters of text, as many whole ones as fit in `limit` units.
std::wstring printablePrefix(std::wstring_view text, size_t limit) {
    std::wstring kept;
    bool full = false;
    forEachCharacter(text, [&](size_t at, size_t length, bool printable) {
        if (full || !printable) return;
        if (kept.size() + length > limit) {
            full = true;
            return;
        }
        kept.append(text.substr(at, length));
    });
    return kept;
}

}  // namespace

std::wstring desktopIdentifier(std::wstring_view executableName) {
    std::wstring identifier(kDesktopPrefix);
    identifier += lowerInvariant(executableName);
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

bool hasUnprintable(std::wstring_view text) {
    bool found = false;
    forEachCharacter(text, [&](size_t, size_t, bool printable) { found = found || !printable; });
    return found;
}

std::wstring_view trimFileName(std::wstring_view name) {
    const size_t last = name.find_last_not_of(L" .");
    return last == std::wstring_view::npos ? std::wstring_view{} : name.substr(0, last + 1);
}

std::wstring_view plausibleFileName(std::wstring_view originalFileName) {
    const std::wstring_view name = trimFileName(originalFileName);
    if (name.empty() || name.size() > kMaxFileNameLength || hasUnprintable(name) ||
        name.find_first_of(L"\\/:*?\"<>|") != std::wstring_view::npos)
        return {};
    return name;
}

std::wstring cleanDisplayName(std::wstring_view name) { return printablePrefix(name, kMaxDisplayNameLength); }

ExecutableNames chooseExecutableNames(std::wstring_view imagePath, std::wstring_view originalFileName,
                                      std::wstring_view fileDescription, std::wstring_view productName) {
    const std::wstring_view fileName = lastPathComponent(imagePath);
    const std::wstring_view original = plausibleFileName(originalFileName);
    // The image's own name is one the file system took; only what could still mislead a reader
    // of the core's log goes, as with display names.
    const std::wstring executable =
        !original.empty() ? std::wstring(original) : printablePrefix(trimFileName(fileName), kMaxFileNameLength);
    std::wstring display = cleanDisplayName(fileDescription);
    if (display.empty()) display = cleanDisplayName(productName);
    if (display.empty()) display = cleanDisplayName(fileName);
    if (executable.empty()) return {{}, std::move(display)};
    return {desktopIdentifier(executable), std::move(display)};
}

bool takesParentIdentity(std::wstring_view identifier, std::wstring_view parentIdentifier) {
    return identifier == L"win32:javaw.exe" && !parentIdentifier.empty() &&
           parentIdentifier != L"win32:explorer.exe" && parentIdentifier != L"win32:cmd.exe";
}

}  // namespace brisko
