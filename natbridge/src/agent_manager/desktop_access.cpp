#include "agent_manager/desktop_access.h"

#include <memory>

namespace brisko {

namespace {

struct AceToAdd {
    BYTE flags;
    ACCESS_MASK mask;
};

std::vector<BYTE> ReadSecurity(HANDLE object) {
    SECURITY_INFORMATION what = DACL_SECURITY_INFORMATION;
    DWORD needed = 0;
    if (::GetUserObjectSecurity(object, &what, nullptr, 0, &needed) ||
        ::GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return {};
    std::vector<BYTE> descriptor(needed);
    if (!::GetUserObjectSecurity(object, &what, descriptor.data(), needed, &needed)) return {};
    return descriptor;
}

bool HasAce(PACL acl, PSID sid, const AceToAdd& wanted) {
    ACL_SIZE_INFORMATION size{};
    if (!acl || !::GetAclInformation(acl, &size, sizeof(size), AclSizeInformation)) return false;
    for (DWORD i = 0; i < size.AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        if (!::GetAce(acl, i, reinterpret_cast<void**>(&ace))) continue;
        if (ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && ace->Header.AceFlags == wanted.flags &&
            ace->Mask == wanted.mask && ::EqualSid(&ace->SidStart, sid))
            return true;
    }
    return false;
}

// Writes back the object's DACL with the missing entries appended.
bool Grant(HANDLE object, PSID sid, std::initializer_list<AceToAdd> entries) {
    std::vector<BYTE> current = ReadSecurity(object);
    if (current.empty()) return false;
    BOOL present = FALSE, defaulted = FALSE;
    PACL oldAcl = nullptr;
    if (!::GetSecurityDescriptorDacl(current.data(), &present, &oldAcl, &defaulted)) return false;
    if (!present) oldAcl = nullptr;

    std::vector<AceToAdd> missing;
    for (const AceToAdd& entry : entries)
        if (!HasAce(oldAcl, sid, entry)) missing.push_back(entry);
    if (missing.empty()) return true;

    ACL_SIZE_INFORMATION oldSize{0, sizeof(ACL), 0};
    if (oldAcl && !::GetAclInformation(oldAcl, &oldSize, sizeof(oldSize), AclSizeInformation)) return false;
    const DWORD aceSize = sizeof(ACCESS_ALLOWED_ACE) + ::GetLengthSid(sid) - sizeof(DWORD);
    const DWORD newSize = oldSize.AclBytesInUse + static_cast<DWORD>(missing.size()) * aceSize;
    if (newSize > 0xFFFF) return false;

    std::vector<BYTE> aclBuffer(newSize);
    const auto newAcl = reinterpret_cast<PACL>(aclBuffer.data());
    if (!::InitializeAcl(newAcl, newSize, ACL_REVISION)) return false;
    for (DWORD i = 0; i < oldSize.AceCount; ++i) {
        void* ace = nullptr;
        if (!::GetAce(oldAcl, i, &ace)) return false;
        if (!::AddAce(newAcl, ACL_REVISION, MAXDWORD, ace, reinterpret_cast<ACE_HEADER*>(ace)->AceSize))
            return false;
    }
    for (const AceToAdd& entry : missing)
        if (!::AddAccessAllowedAceEx(newAcl, ACL_REVISION, entry.flags, entry.mask, sid)) return false;

    SECURITY_DESCRIPTOR descriptor;
    if (!::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION)) return false;
    if (!::SetSecurityDescriptorDacl(&descriptor, TRUE, newAcl, FALSE)) return false;
    SECURITY_INFORMATION what = DACL_SECURITY_INFORMATION;
    return ::SetUserObjectSecurity(object, &what, &descriptor) != FALSE;
}

}  // namespace

std::vector<BYTE> LogonSid(HANDLE token) {
    DWORD needed = 0;
    if (::GetTokenInformation(token, TokenGroups, nullptr, 0, &needed) ||
        ::GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return {};
    std::vector<BYTE> buffer(needed);
    if (!::GetTokenInformation(token, TokenGroups, buffer.data(), needed, &needed)) return {};
    const auto groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
    for (DWORD i = 0; i < groups->GroupCount; ++i) {
        if ((groups->Groups[i].Attributes & SE_GROUP_LOGON_ID) != SE_GROUP_LOGON_ID) continue;
        const auto sid = static_cast<const BYTE*>(groups->Groups[i].Sid);
        return std::vector<BYTE>(sid, sid + ::GetLengthSid(groups->Groups[i].Sid));
    }
    return {};
}

bool GrantWindowStation(HWINSTA station, PSID sid) {
    return Grant(station, sid,
                 {{CONTAINER_INHERIT_ACE | INHERIT_ONLY_ACE | OBJECT_INHERIT_ACE,
                   GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL},
                  {NO_PROPAGATE_INHERIT_ACE, WINSTA_ALL_ACCESS | STANDARD_RIGHTS_REQUIRED}});
}

bool GrantDesktop(HDESK desktop, PSID sid) {
    constexpr ACCESS_MASK kDesktopAll = 0x000F01FF;
    return Grant(desktop, sid, {{0, kDesktopAll}});
}

}  // namespace brisko
