#include "account_names.h"

#include <wtsapi32.h>

#include <cstdlib>
#include <cwchar>

#include "lazy_entry.h"
#include "unique_handle.h"

namespace brisko {
namespace {

// WTSAPI32.DLL is not imported: an import would be looked up beside the setup program first.
LazyEntry querySessionInformation(L"wtsapi32.dll", "WTSQuerySessionInformationW");
LazyEntry freeMemory(L"wtsapi32.dll", "WTSFreeMemory");

using QuerySessionInformationFunction = decltype(&::WTSQuerySessionInformationW);
using FreeMemoryFunction = decltype(&::WTSFreeMemory);

struct WtsMemoryDeleter {
    FreeMemoryFunction release;
    void operator()(wchar_t* memory) const noexcept { release(memory); }
};

}  // namespace

MallocPtr<wchar_t> GetConsoleUserName() {
    const DWORD session = ::WTSGetActiveConsoleSessionId();
    if (session == 0xFFFFFFFF) return nullptr;
    const auto query = querySessionInformation.get<QuerySessionInformationFunction>();
    const auto release = freeMemory.get<FreeMemoryFunction>();
    if (!query || !release) return nullptr;  // an answer that could not be freed is not asked for
    wchar_t* buffer = nullptr;
    DWORD bytes = 0;
    if (!query(WTS_CURRENT_SERVER_HANDLE, session, WTSUserName, &buffer, &bytes)) return nullptr;
    const std::unique_ptr<wchar_t, WtsMemoryDeleter> name(buffer, WtsMemoryDeleter{release});
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
