#pragma once
// Which session user names reach the core: no machine, hidden or service accounts.
#include <string>
#include <string_view>

namespace brisko {

// False for an empty name, a name ending in "$", and "sshd", "ASPNET" or "UpdatusUser" in any case.
bool IsReportedUserName(std::wstring_view userName);

}  // namespace brisko
