#pragma once
// Which session user names reach the core: no machine, hidden or service accounts.
#include <string>
#include <string_view>

namespace brisko {

// False for an empty name, a name ending in "$", and "sshd", "ASPNET" or "UpdatusUser" in any case.
bool IsReportedUserName(std::wstring_view userName);

// The name in a WTSUserName answer of `bytes` bytes: the character count is the byte count
// halved, less one when the last character is NUL.
std::wstring UserNameFromQuery(const wchar_t* buffer, unsigned long bytes);

}  // namespace brisko
