#pragma once
// The local user accounts that the core sees, from the local account database.
#include <windows.h>
#include <lm.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace brisko {

struct UserAccount {
    std::wstring name;
    std::wstring fullName;  // empty when the account has none
};

// NetUserEnum at information level 20 on the local server, behind a replaceable table (Wine
// answers it for its one user only). The defaults are the real calls; tests put their own in place.
struct UserEnumeration {
    // One call for normal accounts with the largest preferred length; `resume` carries the
    // position from call to call.
    std::function<NET_API_STATUS(BYTE** buffer, DWORD* entriesRead, DWORD* totalEntries, DWORD* resume)> enumerate;
    std::function<void(void* buffer)> freeBuffer;
};

UserEnumeration RealUserEnumeration();
UserEnumeration& CurrentUserEnumeration();

// The named accounts of one answer that are not disabled, added in order.
void AddEnabledAccounts(const USER_INFO_20* entries, DWORD count, std::vector<UserAccount>& accounts);

// Every enabled account, following ERROR_MORE_DATA with the resume handle; none when the
// database cannot be read (the status then goes to the standard error stream).
std::optional<std::vector<UserAccount>> EnumerateUserAccounts();

// The core's map entries: account name to full name, or to the name itself when there is no
// full name; service and machine accounts are left out.
std::vector<std::pair<std::wstring, std::wstring>> UserMapEntries(const std::vector<UserAccount>& accounts);

}  // namespace brisko
