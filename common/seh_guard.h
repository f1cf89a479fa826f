#pragma once
// GCC has no __try/__except: this runs a call and answers the code of a structured exception
// raised inside it (0 when none was raised) instead of letting the exception end the process.
// The call must not leave C++ objects to destroy behind: frames between the guard and the
// raising point are abandoned, not unwound by C++.
#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

DWORD BriskoRunGuarded(void (*call)(void* context), void* context);

#ifdef __cplusplus
}

namespace brisko {

// Runs any callable under the guard; answers the exception code or 0.
template <typename Call>
DWORD RunGuarded(Call&& call) {
    return ::BriskoRunGuarded([](void* context) { (*static_cast<Call*>(context))(); }, &call);
}

}  // namespace brisko
#endif
