#include <atomic>

#include "registry.h"
#include "unique_handle.h"

namespace brisko {
namespace {

// Set once for the life of the process; two threads racing through the first call at worst both
// enable the privilege.
std::atomic<bool> restorePrivilegeEnabled{false};

}  // namespace

bool EnableRestorePrivilege() {
    if (restorePrivilegeEnabled.load()) return true;
    UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put())) return false;
    TOKEN_PRIVILEGES privileges{};
    if (::LookupPrivilegeValueW(nullptr, L"SeRestorePrivilege", &privileges.Privileges[0].Luid)) {
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        // A token without the privilege still succeeds here (ERROR_NOT_ALL_ASSIGNED in the last
        // error): callers in a standard user's process go on.
        if (::AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr))
            restorePrivilegeEnabled.store(true);
    }
    return restorePrivilegeEnabled.load();
}

}  // namespace brisko
