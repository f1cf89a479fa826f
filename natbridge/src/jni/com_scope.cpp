#include "jni/com_scope.h"

#include <objbase.h>
#include <windows.h>

namespace brisko {

ComScope::ComScope() {
    // A thread already in the other apartment keeps it; the scope is still usable there.
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return;
    initialized_ = true;
    const HRESULT security = ::CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                                                    RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
    usable_ = SUCCEEDED(security) || security == RPC_E_TOO_LATE;
}

ComScope::~ComScope() {
    if (initialized_) ::CoUninitialize();
}

}  // namespace brisko
