#include "account_names.h"

#include <wtsapi32.h>

#include <cstdlib>
#include <cwchar>

#include "unique_handle.h"
#include "unique_memory.h"

namespace brisko {

MallocPtr<wchar_t> GetConsoleUserName() {
    const DWORD session = ::WTSGetActiveConsoleSessionId();
    if (session == 0xFFFFFFFF) return nullptr;
    UniqueWtsMemory<wchar_t*> name;
    DWORD bytes = 0;
    if (!::WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, session, WTSUserName, name.put(), &bytes))
        return nullptr;
    if (bytes == 0 || !name) return nullptr;

    const size_t length = std::wcslen(name.get());
    MallocPtr<wchar_t> copy(static_cast<wchar_t*>(std::malloc((length + 1) * sizeof(wchar_t))));
    if (copy) std::wmemcpy(copy.get(), name.get(), length + 1);
    return copy;
}

DWORD GetProcessUserName(HANDLE process, wchar_t* name, DWORD nameCapacity, wchar_t* domain, DWORD domainCapacity) {
    UniqueHandle token;
    if (!::OpenProcessToken(process, TOKEN_QUERY, token.put())) return ::GetLastError();
    DWORD size = 0;
    if (!::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size) &&
        ::GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return ::GetLastError();
    const ProcessHeapPtr<TOKEN_USER> user(static_cast<TOKEN_USER*>(::HeapAlloc(::GetProcessHeap(), 0, size)));
    if (!user) return ERROR_NOT_ENOUGH_MEMORY;
    SID_NAME_USE use;
    if (!::GetTokenInformation(token.get(), TokenUser, user.get(), size, &size) ||
        !::LookupAccountSidW(nullptr, user->User.Sid, name, &nameCapacity, domain, &domainCapacity, &use))
        return ::GetLastError();
    return ERROR_SUCCESS;
}

}  // namespace brisko
