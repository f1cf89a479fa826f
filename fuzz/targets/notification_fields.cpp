// The texts of the tray icon and its balloons (an application name from the core among them),
// cut to the shell's fixed fields: always terminated, a prefix of the text, at most one unit
// shorter than the field allows, and never cut between the two halves of a surrogate pair.
#include <cstdint>
#include <memory>
#include <string>

#include "fuzz_input.h"
#include "ui/notify_icon.h"

namespace {

template <size_t Size>
void checkField(std::wstring_view text) {
    // On the heap at its exact size, so that a write past the field is caught.
    const auto storage = std::make_unique<wchar_t[]>(Size);
    wchar_t(&field)[Size] = *reinterpret_cast<wchar_t(*)[Size]>(storage.get());
    brisko::copyField(field, text);

    const bool cut = text.size() >= Size;
    const size_t length = cut ? Size - 1 - (IS_HIGH_SURROGATE(text[Size - 2]) ? 1 : 0) : text.size();
    FUZZ_CHECK(field[length] == L'\0');
    FUZZ_CHECK(std::wstring_view(field, length) == text.substr(0, length));
    if (cut && length > 0) FUZZ_CHECK(!(IS_HIGH_SURROGATE(field[length - 1]) && IS_LOW_SURROGATE(text[length])));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const std::wstring text = input.wide();
    checkField<64>(text);   // balloon title
    checkField<128>(text);  // tip
    checkField<256>(text);  // balloon text
    return 0;
}
