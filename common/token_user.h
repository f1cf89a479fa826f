#pragma once
// The account a token runs as, in the one form the system's descriptors and checks compare.
#include <windows.h>

#include <sddl.h>

#include <optional>
#include <string>
#include <vector>

#include "unique_memory.h"

namespace brisko {

// The token's user as a SID string ("S-1-5-21-..."); none when it cannot be read. The token
// needs TOKEN_QUERY.
inline std::optional<std::wstring> TokenUserSid(HANDLE token) {
    DWORD size = 0;
    if (::GetTokenInformation(token, TokenUser, nullptr, 0, &size) || ::GetLastError() != ERROR_INSUFFICIENT_BUFFER ||
        size < sizeof(TOKEN_USER))
        return std::nullopt;
    std::vector<BYTE> buffer(size);
    if (!::GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) return std::nullopt;
    UniqueLocalMemory<wchar_t*> text;
    if (!::ConvertSidToStringSidW(reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid, text.put()))
        return std::nullopt;
    return std::wstring(text.get());
}

}  // namespace brisko
