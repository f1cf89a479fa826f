#pragma once
// Suspend and resume notifications for a window, through functions that older systems lack:
// they are bound at run time, once per process.
#include <windows.h>

#include "unique_handle.h"

namespace brisko {

void UnregisterSuspendResume(HPOWERNOTIFY registration) noexcept;
using UniqueSuspendResumeNotify = UniqueResource<NullInvalidTraits<HPOWERNOTIFY, &UnregisterSuspendResume>>;

// Empty when the system has no such notification or registration failed.
UniqueSuspendResumeNotify RegisterSuspendResume(HWND window);

}  // namespace brisko
