#include "packages/background_color.h"

#include <string>

namespace brisko {
namespace {

// A digit of a hash colour: 0-9, then the letters in either case as 10-35.
std::optional<int> DigitValue(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'z') return c - L'a' + 10;
    if (c >= L'A' && c <= L'Z') return c - L'A' + 10;
    return std::nullopt;
}

// Lenient on purpose: manifests in the wild carry sloppy colours; a pair with a character that
// is no digit at all is worth 255.
int PairValue(wchar_t high, wchar_t low) {
    const auto h = DigitValue(high);
    const auto l = DigitValue(low);
    if (!h || !l) return 255;
    return (16 * *h + *l) % 256;
}

}  // namespace

std::int32_t BackgroundColorFromValue(const wchar_t* value) {
    if (!value) return kNoBackgroundColor;
    const std::wstring_view text(value);
    if (!text.empty() && text.front() == L'#') {
        if (text.size() < 7) return kNoBackgroundColor;
        const int red = PairValue(text[1], text[2]);
        const int green = PairValue(text[3], text[4]);
        const int blue = PairValue(text[5], text[6]);
        return blue * 65536 + green * 256 + red;
    }
    return ColorKeyword(text).value_or(kNoBackgroundColor);
}

std::optional<std::int32_t> SystemPackageColor(std::wstring_view familyName) {
    if (familyName == L"WinStore_cw5n1h2txyewy" || familyName == L"windows.immersivecontrolpanel_cw5n1h2txyewy")
        return 0x008A00;
    if (familyName == L"BrowserChoice_cw5n1h2txyewy") return 0x8A8A8A;
    return std::nullopt;
}

}  // namespace brisko
