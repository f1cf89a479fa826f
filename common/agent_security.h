#pragma once
// Who may touch an agent. The agent runs as the session's user, and that user is the one person
// it must hold out against: they must not end it, suspend it, read or write its memory, start or
// steer a thread in it, duplicate its handles, change its settings or its descriptor. So its
// process and every thread in it are owned by SYSTEM, SYSTEM (the service) has every right, the
// user may only wait for them and ask their name, times and exit code, and nobody else has
// anything (no Everyone, Users, Authenticated Users or INTERACTIVE). Link advapi32 where used.
#include <windows.h>

#include <sddl.h>

#include <string>
#include <string_view>

#include "unique_memory.h"

namespace brisko {

// "{user}" stands for the session user's SID. 0x1fffff is every right of a process (of a thread);
// 0x101000 is SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, 0x100840 SYNCHRONIZE |
// THREAD_QUERY_INFORMATION | THREAD_QUERY_LIMITED_INFORMATION: a thread's query rights, which
// read and change nothing of its running (a device call under Wine, such as reading the TCP
// table, needs its thread open for THREAD_QUERY_INFORMATION to the driver's process, and that
// process fails for good when it is not). P: no entry is inherited from anywhere.
//
// The threads the agent starts itself are owned by the user (a process of the user cannot make
// SYSTEM an owner), and an owner may always read and rewrite the DACL. The OWNER RIGHTS entry
// (OW, S-1-3-4) puts the owner's rights in the DACL's hands: whoever owns a thread may do no
// more than the user. For the first thread, which SYSTEM owns, SYSTEM's own entry still holds.
inline constexpr std::wstring_view kAgentProcessSddl = L"O:SYG:SYD:P(A;;0x1fffff;;;SY)(A;;0x101000;;;{user})";
inline constexpr std::wstring_view kAgentThreadSddl =
    L"O:SYG:SYD:P(A;;0x1fffff;;;SY)(A;;0x100840;;;{user})(A;;0x100840;;;OW)";

using UniqueSecurityDescriptor = UniqueLocalMemory<PSECURITY_DESCRIPTOR>;

// Only "S-", digits and dashes: anything else could add entries of its own to the descriptor.
inline bool IsSidString(std::wstring_view text) {
    if (text.size() < 3 || text.substr(0, 2) != L"S-") return false;
    for (const wchar_t c : text.substr(2))
        if (c != L'-' && (c < L'0' || c > L'9')) return false;
    return true;
}

// The descriptor of `sddl` with the user's SID in place of "{user}"; empty when userSid is no SID
// string or the system refuses the text (GetLastError then tells why).
inline UniqueSecurityDescriptor DescriptorForUser(std::wstring_view sddl, std::wstring_view userSid) {
    constexpr std::wstring_view kUser = L"{user}";
    const size_t at = sddl.find(kUser);
    if (!IsSidString(userSid) || at == std::wstring_view::npos) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return {};
    }
    std::wstring text(sddl);
    text.replace(at, kUser.size(), userSid);
    UniqueSecurityDescriptor descriptor;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(text.c_str(), SDDL_REVISION_1, descriptor.put(),
                                                                nullptr))
        return {};
    return descriptor;
}

inline UniqueSecurityDescriptor AgentProcessDescriptor(std::wstring_view userSid) {
    return DescriptorForUser(kAgentProcessSddl, userSid);
}

inline UniqueSecurityDescriptor AgentThreadDescriptor(std::wstring_view userSid) {
    return DescriptorForUser(kAgentThreadSddl, userSid);
}

// The thread descriptor without owner and group, for the threads the agent makes and for the
// DACL it gives its own threads: the owner stays the one the system gives.
inline UniqueSecurityDescriptor AgentOwnThreadDescriptor(std::wstring_view userSid) {
    return DescriptorForUser(kAgentThreadSddl.substr(kAgentThreadSddl.find(L"D:")), userSid);
}

}  // namespace brisko
