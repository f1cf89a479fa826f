#pragma once
// Reading the descriptors of a process's threads back, for the tests of the agent's thread
// protection: what each thread's DACL allows whom, and what another caller may open it for.
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>
#include <tlhelp32.h>

#include <optional>
#include <string>
#include <vector>

#include "token_user.h"
#include "unique_handle.h"
#include "unique_memory.h"

namespace brisko::testing {

inline std::vector<DWORD> threadsOf(DWORD processId) {
    std::vector<DWORD> threads;
    const UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Thread32First(snapshot.get(), &entry); more; more = ::Thread32Next(snapshot.get(), &entry))
        if (entry.th32OwnerProcessID == processId) threads.push_back(entry.th32ThreadID);
    return threads;
}

inline std::wstring ownAccount() {
    UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return {};
    return TokenUserSid(token.get()).value_or(L"");
}

// A thread's DACL as the tests compare it: "P" when protected, then "SID=mask" per entry in order.
struct ThreadDacl {
    bool isProtected = false;
    std::vector<std::pair<std::wstring, ACCESS_MASK>> allowed;
    bool onlyAllowEntries = true;
};

// The DACL read through a handle that may read it; none when it cannot be read.
inline std::optional<ThreadDacl> readThreadDacl(HANDLE thread) {
    UniqueLocalMemory<PSECURITY_DESCRIPTOR> descriptor;
    PACL dacl = nullptr;
    if (::GetSecurityInfo(thread, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                          descriptor.put()) != ERROR_SUCCESS)
        return std::nullopt;
    ThreadDacl result;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ::GetSecurityDescriptorControl(descriptor.get(), &control, &revision);
    result.isProtected = (control & SE_DACL_PROTECTED) != 0;
    ACL_SIZE_INFORMATION size{};
    if (!dacl || !::GetAclInformation(dacl, &size, sizeof size, AclSizeInformation)) return result;
    for (DWORD i = 0; i < size.AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        if (!::GetAce(dacl, i, reinterpret_cast<void**>(&ace))) continue;
        if (ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) {
            result.onlyAllowEntries = false;
            continue;
        }
        UniqueLocalMemory<wchar_t*> sid;
        ::ConvertSidToStringSidW(&ace->SidStart, sid.put());
        result.allowed.emplace_back(sid.get() ? sid.get() : L"?", ace->Mask);
    }
    return result;
}

// What the agent's threads must carry: SYSTEM everything, the user and OWNER RIGHTS only waiting
// and asking, nobody else anything.
inline std::vector<std::pair<std::wstring, ACCESS_MASK>> agentThreadEntries(const std::wstring& user) {
    constexpr ACCESS_MASK waitAndAsk = SYNCHRONIZE | THREAD_QUERY_INFORMATION | THREAD_QUERY_LIMITED_INFORMATION;
    return {{L"S-1-5-18", THREAD_ALL_ACCESS}, {user, waitAndAsk}, {L"S-1-3-4", waitAndAsk}};
}

// Rights a caller of the user must not get on any of the agent's threads (Wine enforces these;
// the owner's READ_CONTROL and WRITE_DAC, which OWNER RIGHTS takes away, it does not).
struct ThreadRight {
    const char* name;
    ACCESS_MASK mask;
};
inline constexpr ThreadRight kDeniedThreadRights[] = {
    {"suspend or resume", THREAD_SUSPEND_RESUME},
    {"end", THREAD_TERMINATE},
    {"set the context of", THREAD_SET_CONTEXT},
    {"read the context of", THREAD_GET_CONTEXT},
    {"set information of", THREAD_SET_INFORMATION},
    {"set limited information of", THREAD_SET_LIMITED_INFORMATION},
    {"impersonate through", THREAD_IMPERSONATE | THREAD_DIRECT_IMPERSONATION},
    {"set the token of", THREAD_SET_THREAD_TOKEN},
};

}  // namespace brisko::testing
