#include "system_events/session_user.h"

#include <algorithm>
#include <cwctype>

namespace brisko {
namespace {

bool EqualsIgnoringCase(std::wstring_view left, std::wstring_view right) {
    return std::equal(left.begin(), left.end(), right.begin(), right.end(),
                      [](wchar_t a, wchar_t b) { return std::towlower(a) == std::towlower(b); });
}

}  // namespace

bool IsReportedUserName(std::wstring_view userName) {
    if (userName.empty() || userName.back() == L'$') return false;
    for (const std::wstring_view serviceAccount : {L"sshd", L"ASPNET", L"UpdatusUser"})
        if (EqualsIgnoringCase(userName, serviceAccount)) return false;
    return true;
}

std::wstring UserNameFromQuery(const wchar_t* buffer, unsigned long bytes) {
    if (!buffer) return {};
    size_t length = bytes / sizeof(wchar_t);
    if (length > 0 && buffer[length - 1] == L'\0') --length;
    return std::wstring(buffer, length);
}

}  // namespace brisko
