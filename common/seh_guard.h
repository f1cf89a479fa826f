#pragma once
// GCC has no __try/__except: this runs a call and answers the code of a structured exception
// raised inside it (0 when none was raised) instead of letting the exception end the process.
// The call must not leave C++ objects to destroy behind: frames between the guard and the
// raising point are abandoned, not unwound by C++.
#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

// Decides, while the system searches for a handler, whether the guard takes an exception
// (non-zero). One it does not take goes on with its search as raised, as if there were no
// guard: record, context and frames untouched.
typedef int (*BriskoGuardAccept)(const EXCEPTION_RECORD* exception);

// A null accept takes every exception.
DWORD BriskoRunGuarded(void (*call)(void* context), void* context, BriskoGuardAccept accept);

#ifdef __cplusplus
}

namespace brisko {

// Runs any callable under the guard; answers the code of an exception it took, or 0.
template <typename Call>
DWORD RunGuarded(Call&& call, BriskoGuardAccept accept = nullptr) {
    return ::BriskoRunGuarded([](void* context) { (*static_cast<Call*>(context))(); }, &call, accept);
}

}  // namespace brisko
#endif
