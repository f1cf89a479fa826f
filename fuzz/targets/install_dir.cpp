// The directory of a Firefox or SeaMonkey command line or "PathToExe" from the registry: any text
// gives none or a non-empty part of the command that ends with its separator (or is the whole
// first token), never outside the first token and never taking the token's first unit as the
// separator.
#include <cstdint>
#include <string>

#include "fuzz_input.h"
#include "install_dir.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const std::wstring command = input.wide();
    const wchar_t* text = command.c_str();
    const auto found = brisko::InstallDirFromCommand(text);
    FUZZ_CHECK(!brisko::InstallDirFromCommand(nullptr));
    if (!found) return 0;

    const std::wstring_view whole(text);
    FUZZ_CHECK(!found->empty());
    FUZZ_CHECK(found->data() >= whole.data() && found->data() + found->size() <= whole.data() + whole.size());
    const size_t start = static_cast<size_t>(found->data() - whole.data());
    const bool quoted = start > 0 && whole[start - 1] == L'"';
    if (quoted) FUZZ_CHECK(whole.find(L'"', start) != std::wstring_view::npos);
    FUZZ_CHECK(found->find(L'"') == std::wstring_view::npos || !quoted);
    const bool endsAtSeparator = found->size() > 1 && (found->back() == L'\\' || found->back() == L'/');
    if (!endsAtSeparator) {
        // No separator after the first unit: the directory is the token to its end.
        FUZZ_CHECK(found->substr(1).find_first_of(L"\\/") == std::wstring_view::npos);
        const size_t end = start + found->size();
        FUZZ_CHECK(quoted ? whole[end] == L'"' : end == whole.size());
    }
    return 0;
}
