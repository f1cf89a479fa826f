// Application identifiers and names from an executable's path and version resource (both of
// them the child's to choose): "win32:" and the name with only ASCII letters lowered, the file
// name after the last separator, the version-resource names before it.
#include <cstdint>
#include <string>

#include "fuzz_input.h"
#include "identification/application_naming.h"

using namespace brisko;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const std::wstring path = input.wide(), original = input.wide(), description = input.wide(),
                       product = input.wide(), parent = input.wide();

    const std::wstring identifier = desktopIdentifier(original);
    FUZZ_CHECK(identifier.size() == kDesktopPrefix.size() + original.size());
    FUZZ_CHECK(identifier.compare(0, kDesktopPrefix.size(), kDesktopPrefix) == 0);
    for (size_t i = 0; i < original.size(); ++i) {
        const wchar_t was = original[i], now = identifier[kDesktopPrefix.size() + i];
        FUZZ_CHECK(was >= L'A' && was <= L'Z' ? now == was - L'A' + L'a' : now == was);
    }
    FUZZ_CHECK(packagedIdentifier(original) == std::wstring(kPackagedPrefix) + original);

    const std::wstring_view file = lastPathComponent(path);
    FUZZ_CHECK(file.find_first_of(L"\\/") == std::wstring_view::npos);
    FUZZ_CHECK(file.data() + file.size() == path.data() + path.size());
    FUZZ_CHECK(file.size() == path.size() || path[path.size() - file.size() - 1] == L'\\' ||
               path[path.size() - file.size() - 1] == L'/');

    const ExecutableNames names = chooseExecutableNames(path, original, description, product);
    FUZZ_CHECK(names.identifier == desktopIdentifier(original.empty() ? file : std::wstring_view(original)));
    FUZZ_CHECK(names.displayName == (!description.empty() ? description : !product.empty() ? product : std::wstring(file)));

    const std::wstring parentId = desktopIdentifier(parent);
    if (takesParentIdentity(identifier, parentId)) FUZZ_CHECK(identifier == L"win32:javaw.exe");
    FUZZ_CHECK(!takesParentIdentity(identifier, L"win32:explorer.exe") && !takesParentIdentity(identifier, L""));
    return 0;
}
