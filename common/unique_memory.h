#pragma once
// One owner per kind of memory that a system call hands out, each freed by its allocator's own
// call: LocalFree, CoTaskMemFree (link ole32 where used), WTSFreeMemory (link wtsapi32 where used).
#include <windows.h>

#include <objbase.h>
#include <wtsapi32.h>

#include "unique_handle.h"

namespace brisko {

template <typename T>
void freeLocalMemory(T memory) noexcept {
    ::LocalFree(memory);
}
template <typename T>
void freeTaskMemory(T memory) noexcept {
    ::CoTaskMemFree(memory);
}
template <typename T>
void freeWtsMemory(T memory) noexcept {
    ::WTSFreeMemory(memory);
}

// T is the pointer type the call gives (wchar_t*, PSECURITY_DESCRIPTOR, WTS_SESSION_INFOW*...).
template <typename T>
using UniqueLocalMemory = UniqueResource<NullInvalidTraits<T, &freeLocalMemory<T>>>;
template <typename T>
using UniqueTaskMemory = UniqueResource<NullInvalidTraits<T, &freeTaskMemory<T>>>;
template <typename T>
using UniqueWtsMemory = UniqueResource<NullInvalidTraits<T, &freeWtsMemory<T>>>;

}  // namespace brisko
