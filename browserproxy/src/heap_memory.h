#pragma once
// Owners for the library's heap memory: strings and blobs handed to callers come from malloc,
// enumeration lists from the process heap.
#include <windows.h>

#include <cstdlib>
#include <memory>

namespace brisko {

struct FreeDeleter {
    void operator()(void* memory) const noexcept { std::free(memory); }
};

struct ProcessHeapDeleter {
    void operator()(void* memory) const noexcept { ::HeapFree(::GetProcessHeap(), 0, memory); }
};

// A malloc'd array the caller owns; releasing it hands the memory over to be freed with free().
template <typename T>
using MallocPtr = std::unique_ptr<T[], FreeDeleter>;

template <typename T>
using ProcessHeapPtr = std::unique_ptr<T, ProcessHeapDeleter>;

// Zero-filled memory from the process heap; null when the heap has none.
template <typename T>
ProcessHeapPtr<T> allocateZeroed(SIZE_T bytes) {
    return ProcessHeapPtr<T>(static_cast<T*>(::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, bytes)));
}

}  // namespace brisko
