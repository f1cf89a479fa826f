// The 147 extended colour keywords of CSS (the SVG colour names), each grey also as gray.
#include <algorithm>
#include <array>

#include "packages/background_color.h"
#include "packages/package_locale.h"

namespace brisko {
namespace {

struct Keyword {
    std::wstring_view name;
    std::int32_t rgb;  // as written in CSS: 0xRRGGBB
};

// Sorted by name.
constexpr std::array kKeywords{
    Keyword{L"aliceblue", 0xF0F8FF},
    Keyword{L"antiquewhite", 0xFAEBD7},
    Keyword{L"aqua", 0x00FFFF},
    Keyword{L"aquamarine", 0x7FFFD4},
    Keyword{L"azure", 0xF0FFFF},
    Keyword{L"beige", 0xF5F5DC},
    Keyword{L"bisque", 0xFFE4C4},
    Keyword{L"black", 0x000000},
    Keyword{L"blanchedalmond", 0xFFEBCD},
    Keyword{L"blue", 0x0000FF},
    Keyword{L"blueviolet", 0x8A2BE2},
    Keyword{L"brown", 0xA52A2A},
    Keyword{L"burlywood", 0xDEB887},
    Keyword{L"cadetblue", 0x5F9EA0},
    Keyword{L"chartreuse", 0x7FFF00},
    Keyword{L"chocolate", 0xD2691E},
    Keyword{L"coral", 0xFF7F50},
    Keyword{L"cornflowerblue", 0x6495ED},
    Keyword{L"cornsilk", 0xFFF8DC},
    Keyword{L"crimson", 0xDC143C},
    Keyword{L"cyan", 0x00FFFF},
    Keyword{L"darkblue", 0x00008B},
    Keyword{L"darkcyan", 0x008B8B},
    Keyword{L"darkgoldenrod", 0xB8860B},
    Keyword{L"darkgray", 0xA9A9A9},
    Keyword{L"darkgreen", 0x006400},
    Keyword{L"darkgrey", 0xA9A9A9},
    Keyword{L"darkkhaki", 0xBDB76B},
    Keyword{L"darkmagenta", 0x8B008B},
    Keyword{L"darkolivegreen", 0x556B2F},
    Keyword{L"darkorange", 0xFF8C00},
    Keyword{L"darkorchid", 0x9932CC},
    Keyword{L"darkred", 0x8B0000},
    Keyword{L"darksalmon", 0xE9967A},
    Keyword{L"darkseagreen", 0x8FBC8F},
    Keyword{L"darkslateblue", 0x483D8B},
    Keyword{L"darkslategray", 0x2F4F4F},
    Keyword{L"darkslategrey", 0x2F4F4F},
    Keyword{L"darkturquoise", 0x00CED1},
    Keyword{L"darkviolet", 0x9400D3},
    Keyword{L"deeppink", 0xFF1493},
    Keyword{L"deepskyblue", 0x00BFFF},
    Keyword{L"dimgray", 0x696969},
    Keyword{L"dimgrey", 0x696969},
    Keyword{L"dodgerblue", 0x1E90FF},
    Keyword{L"firebrick", 0xB22222},
    Keyword{L"floralwhite", 0xFFFAF0},
    Keyword{L"forestgreen", 0x228B22},
    Keyword{L"fuchsia", 0xFF00FF},
    Keyword{L"gainsboro", 0xDCDCDC},
    Keyword{L"ghostwhite", 0xF8F8FF},
    Keyword{L"gold", 0xFFD700},
    Keyword{L"goldenrod", 0xDAA520},
    Keyword{L"gray", 0x808080},
    Keyword{L"green", 0x008000},
    Keyword{L"greenyellow", 0xADFF2F},
    Keyword{L"grey", 0x808080},
    Keyword{L"honeydew", 0xF0FFF0},
    Keyword{L"hotpink", 0xFF69B4},
    Keyword{L"indianred", 0xCD5C5C},
    Keyword{L"indigo", 0x4B0082},
    Keyword{L"ivory", 0xFFFFF0},
    Keyword{L"khaki", 0xF0E68C},
    Keyword{L"lavender", 0xE6E6FA},
    Keyword{L"lavenderblush", 0xFFF0F5},
    Keyword{L"lawngreen", 0x7CFC00},
    Keyword{L"lemonchiffon", 0xFFFACD},
    Keyword{L"lightblue", 0xADD8E6},
    Keyword{L"lightcoral", 0xF08080},
    Keyword{L"lightcyan", 0xE0FFFF},
    Keyword{L"lightgoldenrodyellow", 0xFAFAD2},
    Keyword{L"lightgray", 0xD3D3D3},
    Keyword{L"lightgreen", 0x90EE90},
    Keyword{L"lightgrey", 0xD3D3D3},
    Keyword{L"lightpink", 0xFFB6C1},
    Keyword{L"lightsalmon", 0xFFA07A},
    Keyword{L"lightseagreen", 0x20B2AA},
    Keyword{L"lightskyblue", 0x87CEFA},
    Keyword{L"lightslategray", 0x778899},
    Keyword{L"lightslategrey", 0x778899},
    Keyword{L"lightsteelblue", 0xB0C4DE},
    Keyword{L"lightyellow", 0xFFFFE0},
    Keyword{L"lime", 0x00FF00},
    Keyword{L"limegreen", 0x32CD32},
    Keyword{L"linen", 0xFAF0E6},
    Keyword{L"magenta", 0xFF00FF},
    Keyword{L"maroon", 0x800000},
    Keyword{L"mediumaquamarine", 0x66CDAA},
    Keyword{L"mediumblue", 0x0000CD},
    Keyword{L"mediumorchid", 0xBA55D3},
    Keyword{L"mediumpurple", 0x9370DB},
    Keyword{L"mediumseagreen", 0x3CB371},
    Keyword{L"mediumslateblue", 0x7B68EE},
    Keyword{L"mediumspringgreen", 0x00FA9A},
    Keyword{L"mediumturquoise", 0x48D1CC},
    Keyword{L"mediumvioletred", 0xC71585},
    Keyword{L"midnightblue", 0x191970},
    Keyword{L"mintcream", 0xF5FFFA},
    Keyword{L"mistyrose", 0xFFE4E1},
    Keyword{L"moccasin", 0xFFE4B5},
    Keyword{L"navajowhite", 0xFFDEAD},
    Keyword{L"navy", 0x000080},
    Keyword{L"oldlace", 0xFDF5E6},
    Keyword{L"olive", 0x808000},
    Keyword{L"olivedrab", 0x6B8E23},
    Keyword{L"orange", 0xFFA500},
    Keyword{L"orangered", 0xFF4500},
    Keyword{L"orchid", 0xDA70D6},
    Keyword{L"palegoldenrod", 0xEEE8AA},
    Keyword{L"palegreen", 0x98FB98},
    Keyword{L"paleturquoise", 0xAFEEEE},
    Keyword{L"palevioletred", 0xDB7093},
    Keyword{L"papayawhip", 0xFFEFD5},
    Keyword{L"peachpuff", 0xFFDAB9},
    Keyword{L"peru", 0xCD853F},
    Keyword{L"pink", 0xFFC0CB},
    Keyword{L"plum", 0xDDA0DD},
    Keyword{L"powderblue", 0xB0E0E6},
    Keyword{L"purple", 0x800080},
    Keyword{L"red", 0xFF0000},
    Keyword{L"rosybrown", 0xBC8F8F},
    Keyword{L"royalblue", 0x4169E1},
    Keyword{L"saddlebrown", 0x8B4513},
    Keyword{L"salmon", 0xFA8072},
    Keyword{L"sandybrown", 0xF4A460},
    Keyword{L"seagreen", 0x2E8B57},
    Keyword{L"seashell", 0xFFF5EE},
    Keyword{L"sienna", 0xA0522D},
    Keyword{L"silver", 0xC0C0C0},
    Keyword{L"skyblue", 0x87CEEB},
    Keyword{L"slateblue", 0x6A5ACD},
    Keyword{L"slategray", 0x708090},
    Keyword{L"slategrey", 0x708090},
    Keyword{L"snow", 0xFFFAFA},
    Keyword{L"springgreen", 0x00FF7F},
    Keyword{L"steelblue", 0x4682B4},
    Keyword{L"tan", 0xD2B48C},
    Keyword{L"teal", 0x008080},
    Keyword{L"thistle", 0xD8BFD8},
    Keyword{L"tomato", 0xFF6347},
    Keyword{L"turquoise", 0x40E0D0},
    Keyword{L"violet", 0xEE82EE},
    Keyword{L"wheat", 0xF5DEB3},
    Keyword{L"white", 0xFFFFFF},
    Keyword{L"whitesmoke", 0xF5F5F5},
    Keyword{L"yellow", 0xFFFF00},
    Keyword{L"yellowgreen", 0x9ACD32},
};
static_assert(kKeywords.size() == 147);
static_assert(std::is_sorted(kKeywords.begin(), kKeywords.end(),
                             [](const Keyword& a, const Keyword& b) { return a.name < b.name; }));

constexpr std::int32_t ToColorRef(std::int32_t rgb) {
    return ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF);
}

bool LessIgnoringCase(std::wstring_view left, std::wstring_view right) {
    return std::lexicographical_compare(left.begin(), left.end(), right.begin(), right.end(),
                                        [](wchar_t a, wchar_t b) { return FrenchLower(a) < FrenchLower(b); });
}

}  // namespace

std::optional<std::int32_t> ColorKeyword(std::wstring_view name) {
    const auto it = std::lower_bound(kKeywords.begin(), kKeywords.end(), name,
                                     [](const Keyword& k, std::wstring_view n) { return LessIgnoringCase(k.name, n); });
    if (it == kKeywords.end() || LessIgnoringCase(name, it->name)) return std::nullopt;
    return ToColorRef(it->rgb);
}

}  // namespace brisko
