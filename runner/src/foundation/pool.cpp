#include "foundation/pool.h"

#include <cwchar>

#include "foundation/log.h"

Pool* MainPool = nullptr;

namespace {

// 16 bytes in front of every block. Freeing writes the freed mark into the owner word.
struct BlockHeader {
    DWORD size;
    DWORD reserved;
    Pool* owner;
#ifndef _WIN64
    DWORD reserved2;
#endif
};
static_assert(sizeof(BlockHeader) == 16, "blocks carry a 16-byte header");

Pool* const FreedOwner = reinterpret_cast<Pool*>(static_cast<UINT_PTR>(HANDLE_FREED));
// Refuses requests whose block size would not fit the header's size word.
constexpr size_t LargestRequest = 0x7FFFFF00;

Pool* RootPool = nullptr;
LONG PoolUsers = 0;

BOOL isPool(const Pool* pool) { return pool && pool->head.type == HANDLE_TYPE_POOL; }

Pool* resolvePool(Pool* pool) { return isPool(pool) ? pool : RootPool; }

void acquireSpinLock(volatile LONG* lock) {
    while (::InterlockedExchange(lock, 1) != 0) {
        ::Sleep(10);
        ::SwitchToThread();
    }
}

void releaseSpinLock(volatile LONG* lock) { ::InterlockedExchange(lock, 0); }

void* allocateBlock(Pool* pool, size_t size, DWORD heapFlags) {
    pool = resolvePool(pool);
    if (!pool) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (size > LargestRequest) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    const size_t blockSize = poolBlockSize(size);
    auto* header = static_cast<BlockHeader*>(::HeapAlloc(pool->heap, heapFlags, blockSize));
    if (!header) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    header->size = static_cast<DWORD>(blockSize);
    header->reserved = 0;
    header->owner = pool;
    return header + 1;
}

// The header of a live block of the root heap, or nothing. A freed block's header may already
// hold the heap's own bookkeeping, so the heap is asked first and the freed mark second.
BlockHeader* liveHeader(void* block) {
    if (!block || !RootPool) return nullptr;
    BlockHeader* header = static_cast<BlockHeader*>(block) - 1;
    if (!::HeapValidate(RootPool->heap, 0, header)) return nullptr;
    if (header->owner == FreedOwner || !isPool(header->owner)) return nullptr;
    return header;
}

void callHooks(Handle* handle, UINT message, WPARAM wParam, LPARAM lParam) {
    for (HandleHook* hook = handle->hooks; hook; hook = hook->next) hook->callback(handle, message, wParam, lParam);
}

void appendToList(Handle*& first, Handle*& last, Handle* handle) {
    handle->next = nullptr;
    handle->previous = last;
    if (last)
        last->next = handle;
    else
        first = handle;
    last = handle;
}

void unlinkFromList(Handle*& first, Handle*& last, Handle* handle) {
    if (handle->previous)
        handle->previous->next = handle->next;
    else if (first == handle)
        first = handle->next;
    if (handle->next)
        handle->next->previous = handle->previous;
    else if (last == handle)
        last = handle->previous;
    handle->next = handle->previous = nullptr;
}

// Closes every child pool and every handle; the pool itself stays.
void closePoolContents(Pool* pool) {
    while (Handle* child = pool->firstPool) {
        if (!closeHandle(child)) unlinkFromList(pool->firstPool, pool->lastPool, child);
    }
    while (Handle* handle = pool->firstHandle) {
        if (!closeHandle(handle)) unlinkFromList(pool->firstHandle, pool->lastHandle, handle);
    }
    pool->head.count = 0;
}

BOOL poolCallback(Handle* handle, UINT message, WPARAM, LPARAM) {
    if (message == WM_CLOSE || message == WM_CLEAR) closePoolContents(reinterpret_cast<Pool*>(handle));
    return TRUE;
}

BOOL systemHandleCallback(Handle* handle, UINT message, WPARAM, LPARAM) {
    if (message != WM_CLOSE || handle->type != HANDLE_TYPE_SYSTEM) return TRUE;
    auto* system = reinterpret_cast<SystemHandle*>(handle);
    if (system->value && system->value != INVALID_HANDLE_VALUE) ::CloseHandle(system->value);
    system->value = nullptr;
    return TRUE;
}

// The event is reset and the message taken before the callback runs, so a message posted
// while the callback works is not lost.
DWORD WINAPI handleMessageThread(void* parameter) {
    auto* handle = static_cast<Handle*>(parameter);
    for (;;) {
        if (::WaitForSingleObject(handle->event, INFINITE) != WAIT_OBJECT_0) break;
        ::ResetEvent(handle->event);
        if (handle->type == HANDLE_FREED) break;
        const UINT message = handle->message;
        const WPARAM wParam = handle->wParam;
        const LPARAM lParam = handle->lParam;
        handle->message = 0;
        handle->wParam = 0;
        handle->lParam = 0;
        if (message && (wParam || lParam)) {
            const BOOL goOn = handle->callback ? handle->callback(handle, message, wParam, lParam) : TRUE;
            callHooks(handle, message, wParam, lParam);
            if (!goOn) break;
        }
        ::SwitchToThread();
    }
    return 0;
}

void stopMessageThread(Handle* handle) {
    if (!handle->thread) return;
    ::SetEvent(handle->event);
    if (::WaitForSingleObject(handle->thread, 1000) == WAIT_TIMEOUT) ::TerminateThread(handle->thread, 0);
    ::CloseHandle(handle->event);
    ::CloseHandle(handle->thread);
    handle->event = handle->thread = nullptr;
}

Pool* makePool(Pool* parent, HANDLE heap, DWORD flags) {
    Pool* pool = nullptr;
    if (parent) {
        pool = static_cast<Pool*>(poolAlloc(parent, sizeof(Pool)));
    } else {
        // The root record lives in its own heap; it goes when the heap is destroyed.
        auto* header = static_cast<BlockHeader*>(::HeapAlloc(heap, HEAP_ZERO_MEMORY, poolBlockSize(sizeof(Pool))));
        if (header) {
            header->size = static_cast<DWORD>(poolBlockSize(sizeof(Pool)));
            pool = reinterpret_cast<Pool*>(header + 1);
            header->owner = pool;
        }
    }
    if (!pool) return nullptr;
    pool->head.type = HANDLE_TYPE_POOL;
    pool->head.flags = flags;
    pool->head.callback = poolCallback;
    pool->head.pool = parent;
    pool->heap = heap;
    if (parent) {
        acquireSpinLock(&parent->head.lock);
        appendToList(parent->firstPool, parent->lastPool, &pool->head);
        ++parent->head.count;
        releaseSpinLock(&parent->head.lock);
    }
    return pool;
}

}  // namespace

size_t poolBlockSize(size_t request) { return (request + 31) & ~static_cast<size_t>(15); }

BOOL initPools() {
    if (PoolUsers++ > 0) return TRUE;
    SYSTEM_INFO system{};
    ::GetSystemInfo(&system);
    const HANDLE heap = ::HeapCreate(0, system.dwAllocationGranularity, 0);
    if (!heap) {
        --PoolUsers;
        return FALSE;
    }
    RootPool = makePool(nullptr, heap, POOL_FLAG_OWNS_HEAP);
    if (!RootPool) {
        ::HeapDestroy(heap);
        --PoolUsers;
        return FALSE;
    }
    return TRUE;
}

void releasePools() {
    if (PoolUsers <= 0 || --PoolUsers > 0) return;
    closeHandle(&RootPool->head);
    RootPool = nullptr;
    MainPool = nullptr;
}

Pool* createPool() {
    if (!isPool(RootPool)) {
        LOG_ERROR("Parent Handle type is not POOL %d", RootPool ? static_cast<int>(RootPool->head.type) : 0);
        ::SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return makePool(RootPool, RootPool->heap, 0);
}

void* poolAlloc(Pool* pool, size_t size) { return allocateBlock(pool, size, HEAP_ZERO_MEMORY); }

void* poolAllocRaw(Pool* pool, size_t size) { return allocateBlock(pool, size, 0); }

void* poolRealloc(Pool* pool, void* block, size_t size) {
    if (!block) return poolAlloc(pool, size);
    pool = resolvePool(pool);
    BlockHeader* header = liveHeader(block);
    if (!header || header->owner != pool || size > LargestRequest) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const size_t blockSize = poolBlockSize(size);
    auto* grown = static_cast<BlockHeader*>(::HeapReAlloc(pool->heap, HEAP_ZERO_MEMORY, header, blockSize));
    if (!grown) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    grown->size = static_cast<DWORD>(blockSize);
    return grown + 1;
}

BOOL takePoolBlock(void* block) {
    BlockHeader* header = liveHeader(block);
    if (!header) return FALSE;
    Pool* const owner = header->owner;
    return owner != FreedOwner &&
           ::InterlockedCompareExchangePointer(reinterpret_cast<void* volatile*>(&header->owner), FreedOwner, owner) ==
               owner;
}

void poolFree(void* block) {
    if (!block || !RootPool) return;
    BlockHeader* header = static_cast<BlockHeader*>(block) - 1;
    // The owner is read before the block is taken: taking it overwrites the owner word.
    Pool* const owner = liveHeader(block) ? header->owner : nullptr;
    if (owner && takePoolBlock(block)) ::HeapFree(owner->heap, 0, header);
}

wchar_t* poolStrdup(Pool* pool, const wchar_t* text) {
    if (!text) return nullptr;
    const size_t length = std::wcslen(text);
    auto* copy = static_cast<wchar_t*>(poolAllocRaw(pool, (length + 1) * sizeof(wchar_t)));
    if (copy) std::wmemcpy(copy, text, length + 1);
    return copy;
}

Handle* createHandle(Pool* pool, DWORD flags, size_t ownSize, HandleCallback callback) {
    if (!isPool(pool)) {
        LOG_ERROR("Parent Handle type is not POOL %d", pool ? static_cast<int>(pool->head.type) : 0);
        ::SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    auto* handle = static_cast<Handle*>(poolAlloc(pool, sizeof(Handle) + ownSize));
    if (!handle) return nullptr;
    handle->flags = flags;
    handle->pool = pool;
    handle->callback = callback ? callback : systemHandleCallback;
    if (flags & HANDLE_FLAG_MESSAGE_THREAD) {
        handle->event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (handle->event) {
            handle->thread = ::CreateThread(nullptr, 0, handleMessageThread, handle, 0, &handle->threadId);
            if (!handle->thread) {
                ::CloseHandle(handle->event);
                handle->event = nullptr;
            }
        }
    }
    acquireSpinLock(&pool->head.lock);
    appendToList(pool->firstHandle, pool->lastHandle, handle);
    ++pool->head.count;
    releaseSpinLock(&pool->head.lock);
    return handle;
}

BOOL addHandleHook(Handle* handle, HandleCallback hook) {
    if (!handle || handle->type == HANDLE_FREED || !hook) return FALSE;
    auto* entry = static_cast<HandleHook*>(poolAlloc(handle->pool, sizeof(HandleHook)));
    if (!entry) return FALSE;
    entry->callback = hook;
    acquireSpinLock(&handle->lock);
    HandleHook** tail = &handle->hooks;
    while (*tail) tail = &(*tail)->next;
    *tail = entry;
    releaseSpinLock(&handle->lock);
    return TRUE;
}

BOOL handleIsClosing(const Handle* handle) { return handle && (handle->flags & HANDLE_FLAG_CLOSING) != 0; }

BOOL closeHandle(Handle* handle) {
    if (!handle || handle->type == HANDLE_FREED) return FALSE;
    if (::InterlockedOr(reinterpret_cast<volatile LONG*>(&handle->flags), static_cast<LONG>(HANDLE_FLAG_CLOSING)) &
        static_cast<LONG>(HANDLE_FLAG_CLOSING))
        return FALSE;
    if (handle->callback) handle->callback(handle, WM_CLOSE, 0, 0);
    while (HandleHook* hook = handle->hooks) {
        hook->callback(handle, WM_CLOSE, 0, 0);
        handle->hooks = hook->next;
        poolFree(hook);
    }
    const bool pool = handle->type == HANDLE_TYPE_POOL;
    const HANDLE ownHeap =
        pool && (handle->flags & POOL_FLAG_OWNS_HEAP) ? reinterpret_cast<Pool*>(handle)->heap : nullptr;
    handle->type = HANDLE_FREED;
    stopMessageThread(handle);
    if (Pool* owner = handle->pool) {
        acquireSpinLock(&owner->head.lock);
        if (pool)
            unlinkFromList(owner->firstPool, owner->lastPool, handle);
        else
            unlinkFromList(owner->firstHandle, owner->lastHandle, handle);
        --owner->head.count;
        releaseSpinLock(&owner->head.lock);
        poolFree(handle);
    }
    // Last: an owned heap holds the pool's own record.
    if (ownHeap) ::HeapDestroy(ownHeap);
    return TRUE;
}

BOOL sendCloseToHandle(Handle* handle) {
    if (!handle || handle->type == HANDLE_FREED) return FALSE;
    acquireSpinLock(&handle->lock);
    const BOOL result = handle->callback ? handle->callback(handle, WM_CLOSE, 0, 0) : TRUE;
    callHooks(handle, WM_CLOSE, 0, 0);
    releaseSpinLock(&handle->lock);
    return result;
}

SystemHandle* createSystemHandle(Pool* pool, HANDLE value) {
    SystemHandle* handle = createTypedHandle<SystemHandle>(pool, HANDLE_TYPE_SYSTEM, 0, nullptr);
    if (handle) handle->value = value;
    return handle;
}
