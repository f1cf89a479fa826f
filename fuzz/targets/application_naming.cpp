// Application identifiers and names from an executable's path and version resource (all of them
// the child's to choose): an identifier is "win32:" and a plausible file name, or nothing; a
// display name is printable and no longer than the parents' screen takes.
#include <cstdint>
#include <string>

#include "fuzz_input.h"
#include "identification/application_naming.h"

using namespace brisko;

namespace {

bool isAsciiLowered(std::wstring_view was, std::wstring_view now) {
    if (was.size() != now.size()) return false;
    for (size_t i = 0; i < was.size(); ++i)
        if (was[i] >= L'A' && was[i] <= L'Z' ? now[i] != was[i] - L'A' + L'a' : now[i] != was[i]) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const std::wstring path = input.wide(), original = input.wide(), description = input.wide(),
                       product = input.wide(), parent = input.wide();

    const std::wstring identifier = desktopIdentifier(original);
    FUZZ_CHECK(identifier.compare(0, kDesktopPrefix.size(), kDesktopPrefix) == 0);
    FUZZ_CHECK(isAsciiLowered(original, std::wstring_view(identifier).substr(kDesktopPrefix.size())));
    FUZZ_CHECK(packagedIdentifier(original) == std::wstring(kPackagedPrefix) + original);

    const std::wstring_view file = lastPathComponent(path);
    FUZZ_CHECK(file.find_first_of(L"\\/") == std::wstring_view::npos);
    FUZZ_CHECK(file.data() + file.size() == path.data() + path.size());
    FUZZ_CHECK(file.size() == path.size() || path[path.size() - file.size() - 1] == L'\\' ||
               path[path.size() - file.size() - 1] == L'/');

    const std::wstring_view plausible = plausibleFileName(original);
    if (!plausible.empty()) {
        FUZZ_CHECK(plausible.size() <= kMaxFileNameLength && !hasUnprintable(plausible));
        FUZZ_CHECK(plausible.back() != L' ' && plausible.back() != L'.');
        FUZZ_CHECK(plausible.find_first_of(L"\\/:*?\"<>|") == std::wstring_view::npos);
    }

    const ExecutableNames names = chooseExecutableNames(path, original, description, product);
    if (!plausible.empty()) FUZZ_CHECK(names.identifier == desktopIdentifier(plausible));
    if (!names.identifier.empty()) {
        FUZZ_CHECK(names.identifier.compare(0, kDesktopPrefix.size(), kDesktopPrefix) == 0);
        FUZZ_CHECK(names.identifier.size() > kDesktopPrefix.size());
        FUZZ_CHECK(names.identifier.size() <= kDesktopPrefix.size() + kMaxFileNameLength);
        FUZZ_CHECK(!hasUnprintable(names.identifier));
    }
    FUZZ_CHECK(names.displayName.size() <= kMaxDisplayNameLength && !hasUnprintable(names.displayName));
    FUZZ_CHECK(cleanDisplayName(names.displayName) == names.displayName);
    if (!description.empty() && !cleanDisplayName(description).empty())
        FUZZ_CHECK(names.displayName == cleanDisplayName(description));

    const std::wstring parentId = desktopIdentifier(parent);
    if (takesParentIdentity(identifier, parentId)) FUZZ_CHECK(identifier == L"win32:javaw.exe");
    FUZZ_CHECK(!takesParentIdentity(identifier, L"win32:explorer.exe") && !takesParentIdentity(identifier, L""));
    return 0;
}
