// The installer's browser check over process names and account names: a name matches only when
// it is a row of the table ignoring case, and a candidate only when it is that, not packaged, and
// of the console user (when there is one).
#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <string>

#include "fuzz_input.h"
#include "known_browsers.h"

namespace {

std::wstring lowered(std::wstring text) {
    for (wchar_t& unit : text)
        if (unit >= L'A' && unit <= L'Z') unit = static_cast<wchar_t>(unit - L'A' + L'a');
    return text;
}

bool isRow(const std::wstring& name) {
    for (const wchar_t* const* row = brisko::KnownBrowsers; *row; ++row)
        if (lowered(name) == *row) return true;
    return false;
}

brisko::MallocPtr<wchar_t> heapCopy(const std::wstring& text) {
    brisko::MallocPtr<wchar_t> copy(static_cast<wchar_t*>(std::malloc((text.size() + 1) * sizeof(wchar_t))));
    std::wmemcpy(copy.get(), text.c_str(), text.size() + 1);
    return copy;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const uint8_t choices = input.byte();
    const std::wstring name = input.wide(), user = input.wide(), consoleUser = input.wide();
    const std::wstring cName = name.c_str(), cUser = user.c_str(), cConsole = consoleUser.c_str();

    const bool known = brisko::IsKnownBrowser(name.c_str());
    FUZZ_CHECK(known == isRow(cName));

    brisko::ProcessCandidate candidate;
    candidate.packaged = choices & 1;
    candidate.executableName = choices & 2 ? name.c_str() : nullptr;
    candidate.userName = choices & 4 ? user.c_str() : nullptr;
    brisko::BrowserSearch search;
    if (choices & 8) search.consoleUser = heapCopy(consoleUser);
    const bool matched = brisko::MatchBrowserCandidate(candidate, search);
    const bool userFits = !(choices & 8) || ((choices & 4) && lowered(cUser) == lowered(cConsole));
    FUZZ_CHECK(matched == search.found);
    FUZZ_CHECK(matched == (!candidate.packaged && userFits && (choices & 2) && known));
    return 0;
}
