// A package's logo value, from its manifest or resource index (the package author's text), joined
// to its install folder: whatever it says, a path that comes back lies below that folder, names
// no stream, holds no "." or ".." part and no wildcard or control character, and is no longer
// than Windows opens. Every candidate of the on-disk search stays in the value's own folder.
#include <cstdint>
#include <string>

#include "fuzz_input.h"
#include "packages/logo_path.h"

namespace {

bool HasDotPart(std::wstring_view path) {
    for (size_t start = 0;;) {
        const size_t end = path.find(L'\\', start);
        const std::wstring_view part = path.substr(start, end == std::wstring_view::npos ? end : end - start);
        if (part == L"." || part == L"..") return true;
        if (end == std::wstring_view::npos) return false;
        start = end + 1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::wstring kFolder = L"C:\\Program Files\\WindowsApps\\Vendor.App_1.0_x86__abc";
    FuzzInput input(data, size);
    // Any install folder must give a sound path; below a plain one, the path must be inside it.
    const bool plainFolder = !input.flag();
    const std::wstring folder = plainFolder ? kFolder : input.wide();
    const std::wstring logo = input.wide();

    if (const auto path = brisko::ContainedLogoPath(folder, logo)) {
        FUZZ_CHECK(path->size() <= brisko::kMaxLogoPathLength);
        FUZZ_CHECK(path->find(L'/') == std::wstring::npos);
        FUZZ_CHECK(path->find_first_of(L"*?\"<>|") == std::wstring::npos);
        FUZZ_CHECK(path->find(L':', 2) == std::wstring::npos);
        FUZZ_CHECK(!HasDotPart(*path));
        for (const wchar_t unit : *path) FUZZ_CHECK(unit >= 0x20);
        if (plainFolder) {
            FUZZ_CHECK(path->size() > kFolder.size() + 1);
            FUZZ_CHECK(path->compare(0, kFolder.size() + 1, kFolder + L"\\") == 0);
        }
    }

    const std::wstring_view value(logo);
    const size_t slash = value.find_last_of(L"\\/");
    const std::wstring_view valueFolder = slash == std::wstring_view::npos ? std::wstring_view() : value.substr(0, slash);
    for (const std::wstring& candidate : brisko::LogoCandidates(logo)) {
        FUZZ_CHECK(candidate.size() >= valueFolder.size());
        FUZZ_CHECK(std::wstring_view(candidate).substr(0, valueFolder.size()) == valueFolder);
    }
    return 0;
}
