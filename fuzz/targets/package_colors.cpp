// The tile colour a package manifest declares: any attribute text gives "none" or a colour in the
// 0x00BBGGRR layout; a "#RRGGBB" text in any letter case gives back its colour; a keyword matches
// in any letter case or not at all.
#include <cstdint>
#include <string>

#include "fuzz_input.h"
#include "packages/background_color.h"

using namespace brisko;

namespace {

bool isColor(int32_t value) { return value == kNoBackgroundColor || (value >= 0 && value <= 0xFFFFFF); }

std::wstring caseFlipped(std::wstring text, uint32_t mask) {
    for (size_t i = 0; i < text.size(); ++i) {
        wchar_t& unit = text[i];
        if (!(mask >> (i % 32) & 1)) continue;
        if (unit >= L'a' && unit <= L'z') unit = static_cast<wchar_t>(unit - L'a' + L'A');
        else if (unit >= L'A' && unit <= L'Z') unit = static_cast<wchar_t>(unit - L'A' + L'a');
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const uint32_t rgb = input.u32() & 0xFFFFFF;
    const uint32_t mask = input.u32();
    const std::wstring text = input.wide();

    const int32_t value = BackgroundColorFromValue(text.c_str());
    FUZZ_CHECK(isColor(value));
    FUZZ_CHECK(BackgroundColorFromValue(caseFlipped(text, mask).c_str()) == value);
    FUZZ_CHECK(BackgroundColorFromValue(nullptr) == kNoBackgroundColor);

    if (const auto keyword = ColorKeyword(text)) {
        FUZZ_CHECK(isColor(*keyword) && *keyword != kNoBackgroundColor);
        FUZZ_CHECK(ColorKeyword(caseFlipped(text, mask)) == keyword);
    }
    if (const auto fixed = SystemPackageColor(text)) FUZZ_CHECK(isColor(*fixed));

    wchar_t hash[8];
    static constexpr wchar_t kDigits[] = L"0123456789abcdef";
    hash[0] = L'#';
    for (int i = 0; i < 6; ++i) hash[1 + i] = kDigits[rgb >> (20 - 4 * i) & 0xF];
    hash[7] = L'\0';
    const int32_t colorRef = static_cast<int32_t>((rgb & 0xFF) << 16 | (rgb & 0xFF00) | rgb >> 16);
    FUZZ_CHECK(BackgroundColorFromValue(hash) == colorRef);
    FUZZ_CHECK(BackgroundColorFromValue(caseFlipped(hash, mask).c_str()) == colorRef);
    return 0;
}
