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

}  // namespace brisko
