#include "host/user_accounts.h"

#include <cstdio>

#include "system_events/session_user.h"

namespace brisko {
namespace {

NET_API_STATUS EnumerateNormalAccounts(BYTE** buffer, DWORD* entriesRead, DWORD* totalEntries, DWORD* resume) {
    return ::NetUserEnum(nullptr, 20, FILTER_NORMAL_ACCOUNT, buffer, MAX_PREFERRED_LENGTH, entriesRead, totalEntries,
                         resume);
}

void FreeNetBuffer(void* buffer) { ::NetApiBufferFree(buffer); }

}  // namespace

UserEnumeration RealUserEnumeration() { return {EnumerateNormalAccounts, FreeNetBuffer}; }

UserEnumeration& CurrentUserEnumeration() {
    static UserEnumeration enumeration = RealUserEnumeration();
    return enumeration;
}

void AddEnabledAccounts(const USER_INFO_20* entries, DWORD count, std::vector<UserAccount>& accounts) {
    for (DWORD i = 0; i < count; ++i) {
        const USER_INFO_20& entry = entries[i];
        if (!entry.usri20_name || (entry.usri20_flags & UF_ACCOUNTDISABLE)) continue;
        accounts.push_back({entry.usri20_name, entry.usri20_full_name ? entry.usri20_full_name : L""});
    }
}

std::optional<std::vector<UserAccount>> EnumerateUserAccounts() {
    const UserEnumeration& calls = CurrentUserEnumeration();
    std::vector<UserAccount> accounts;
    DWORD resume = 0;
    NET_API_STATUS status = NERR_Success;
    do {
        BYTE* buffer = nullptr;
        DWORD entriesRead = 0;
        DWORD totalEntries = 0;
        const DWORD before = resume;
        status = calls.enumerate(&buffer, &entriesRead, &totalEntries, &resume);
        if (status == ERROR_MORE_DATA && entriesRead == 0 && resume == before) {
            // No progress: asking again would give the same answer for ever.
            status = ERROR_INVALID_DATA;
        }
        if (status == NERR_Success || status == ERROR_MORE_DATA) {
            if (!buffer && entriesRead > 0)
                std::fputs("An access violation has occurred\n", stderr);
            else
                AddEnabledAccounts(reinterpret_cast<const USER_INFO_20*>(buffer), entriesRead, accounts);
        } else {
            std::fprintf(stderr, "A system error has occurred: %ld\n", static_cast<long>(status));
        }
        if (buffer) calls.freeBuffer(buffer);
    } while (status == ERROR_MORE_DATA);
    std::fflush(stderr);
    if (status != NERR_Success) return std::nullopt;
    return accounts;
}

std::vector<std::pair<std::wstring, std::wstring>> UserMapEntries(const std::vector<UserAccount>& accounts) {
    std::vector<std::pair<std::wstring, std::wstring>> entries;
    for (const UserAccount& account : accounts) {
        if (!IsReportedUserName(account.name)) continue;
        entries.emplace_back(account.name, account.fullName.empty() ? account.name : account.fullName);
    }
    return entries;
}

}  // namespace brisko
