#include "proxy_host.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace brisko {
namespace {

constexpr size_t kMaxLabelLength = 63;

bool IsAsciiDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }
bool IsAsciiLetter(wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }
bool IsHexDigit(wchar_t c) { return IsAsciiDigit(c) || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F'); }
bool IsHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Non-ASCII units that are white space, invisible formatting, controls or not characters at all.
bool IsSpaceOrFormat(wchar_t c) {
    struct Range {
        wchar_t first, last;
    };
    static constexpr Range kRanges[] = {
        {0x0080, 0x00A0}, {0x00AD, 0x00AD}, {0x061C, 0x061C}, {0x1680, 0x1680}, {0x180E, 0x180E},
        {0x2000, 0x200F}, {0x2028, 0x202F}, {0x205F, 0x206F}, {0x3000, 0x3000}, {0xFEFF, 0xFEFF},
        {0xFFF0, 0xFFFF},
    };
    return std::any_of(std::begin(kRanges), std::end(kRanges),
                       [c](const Range& range) { return c >= range.first && c <= range.last; });
}

std::vector<std::wstring_view> Split(std::wstring_view text, wchar_t separator) {
    std::vector<std::wstring_view> parts;
    for (size_t start = 0;;) {
        const size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::wstring_view::npos ? std::wstring_view::npos : end - start));
        if (end == std::wstring_view::npos) return parts;
        start = end + 1;
    }
}

bool AllDigits(std::wstring_view text) { return !text.empty() && std::all_of(text.begin(), text.end(), IsAsciiDigit); }

// Four decimal numbers 0-255 without leading zeros (which some parsers read as octal).
bool IsIpv4Literal(std::wstring_view text) {
    const auto parts = Split(text, L'.');
    if (parts.size() != 4) return false;
    return std::all_of(parts.begin(), parts.end(), [](std::wstring_view part) {
        if (!AllDigits(part) || part.size() > 3 || (part.size() > 1 && part.front() == L'0')) return false;
        int value = 0;
        for (const wchar_t c : part) value = value * 10 + (c - L'0');
        return value <= 255;
    });
}

// Groups of one to four hexadecimal digits; the last may be an IPv4 literal (two groups).
// Answers the number of groups, or -1.
int Ipv6Groups(std::wstring_view text) {
    if (text.empty()) return 0;
    const auto groups = Split(text, L':');
    int count = 0;
    for (size_t i = 0; i < groups.size(); ++i) {
        const std::wstring_view group = groups[i];
        if (i + 1 == groups.size() && group.find(L'.') != std::wstring_view::npos) {
            if (!IsIpv4Literal(group)) return -1;
            count += 2;
        } else if (!group.empty() && group.size() <= 4 && std::all_of(group.begin(), group.end(), IsHexDigit)) {
            ++count;
        } else {
            return -1;
        }
    }
    return count;
}

// Eight groups, or fewer with one "::" standing for the missing ones; no zone.
bool IsIpv6Literal(std::wstring_view text) {
    const size_t gap = text.find(L"::");
    if (gap == std::wstring_view::npos) return Ipv6Groups(text) == 8;
    if (text.find(L"::", gap + 1) != std::wstring_view::npos) return false;
    const std::wstring_view before = text.substr(0, gap);
    const std::wstring_view after = text.substr(gap + 2);
    // An IPv4 tail belongs at the end only.
    if (before.find(L'.') != std::wstring_view::npos) return false;
    const int head = Ipv6Groups(before);
    const int tail = Ipv6Groups(after);
    return head >= 0 && tail >= 0 && head + tail <= 7;
}

bool IsLabel(std::wstring_view label) {
    if (label.empty() || label.size() > kMaxLabelLength || label.front() == L'-' || label.back() == L'-')
        return false;
    for (size_t i = 0; i < label.size(); ++i) {
        const wchar_t c = label[i];
        if (IsAsciiLetter(c) || IsAsciiDigit(c) || c == L'-' || c == L'_') continue;
        if (c < 0x80 || IsSpaceOrFormat(c) || IsLowSurrogate(c)) return false;
        if (IsHighSurrogate(c)) {
            if (i + 1 == label.size() || !IsLowSurrogate(label[i + 1])) return false;
            ++i;
        }
    }
    return true;
}

}  // namespace

bool IsProxyHost(std::wstring_view host) {
    if (host.empty() || host.size() > kMaxProxyHostLength) return false;
    if (host.front() == L'[')
        return host.size() > 2 && host.back() == L']' && IsIpv6Literal(host.substr(1, host.size() - 2));
    const auto labels = Split(host, L'.');
    if (!std::all_of(labels.begin(), labels.end(), IsLabel)) return false;
    // As in URLs: a name whose last label is a number is an IPv4 address, or nothing.
    return !AllDigits(labels.back()) || IsIpv4Literal(host);
}

bool IsProxyPort(int port) { return port >= 1 && port <= 65535; }

}  // namespace brisko
