#pragma once
// Pools own every block of memory and every system resource of the runner. A pool is a private
// heap plus lists of typed handles; closing the root pool at exit closes everything at once.
#include <windows.h>

#include <cstddef>

// The first word of every handle record names its kind; a released record holds HANDLE_FREED.
enum : DWORD {
    HANDLE_TYPE_POOL = 0x1000000,
    HANDLE_TYPE_SYSTEM = 0x2000000,
    HANDLE_TYPE_SERVICE = 0x3000000,
    HANDLE_TYPE_PROCESS = 0x6000000,
    HANDLE_TYPE_JAVA = 0x7000000,
    HANDLE_TYPE_REGISTRY = 0x8000000,
    HANDLE_FREED = 0xDEADBEEF,
};

enum : DWORD {
    POOL_FLAG_OWNS_HEAP = 0x2,
    HANDLE_FLAG_MESSAGE_THREAD = 0x10,
    // Set by the one closeHandle that takes the handle; the callback sees the close is final.
    HANDLE_FLAG_CLOSING = 0x80000000,
};

struct Handle;
struct Pool;

// Answers non-zero to go on. Every handle understands WM_CLOSE; pools also WM_CLEAR.
typedef BOOL (*HandleCallback)(Handle* handle, UINT message, WPARAM wParam, LPARAM lParam);

struct HandleHook {
    HandleHook* next;
    HandleCallback callback;
};

struct Handle {
    DWORD type;
    volatile DWORD flags;
    LONG count;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    HandleCallback callback;
    HandleHook* hooks;
    Pool* pool;
    volatile LONG lock;
    HANDLE event;
    HANDLE thread;
    DWORD threadId;
    Handle* next;
    Handle* previous;
};

struct Pool {
    Handle head;
    HANDLE heap;
    Handle* firstHandle;
    Handle* lastHandle;
    Handle* firstPool;
    Handle* lastPool;
};

// A plain kernel object closed with CloseHandle.
struct SystemHandle {
    Handle head;
    HANDLE value;
};

// The pool that holds everything a run of the runner allocates.
extern Pool* MainPool;

// The first call makes the root pool; every call needs a matching releasePools.
BOOL initPools();
void releasePools();
Pool* createPool();

// A missing or invalid pool means the root pool.
void* poolAlloc(Pool* pool, size_t size);
void* poolAllocRaw(Pool* pool, size_t size);
void* poolRealloc(Pool* pool, void* block, size_t size);
void poolFree(void* block);
// Marks a live block freed; of any number of callers, however they race, exactly one is answered
// TRUE, and only that one may give the block back to its heap (poolFree does both).
BOOL takePoolBlock(void* block);
wchar_t* poolStrdup(Pool* pool, const wchar_t* text);
// Bytes a block of this request occupies in its heap, header included.
size_t poolBlockSize(size_t request);

Handle* createHandle(Pool* pool, DWORD flags, size_t ownSize, HandleCallback callback);
BOOL addHandleHook(Handle* handle, HandleCallback hook);
// The first of any number of concurrent callers closes the handle; the others are answered FALSE.
BOOL closeHandle(Handle* handle);
// Inside a callback: the close message comes from closeHandle, and the record goes after it.
BOOL handleIsClosing(const Handle* handle);
// The close message without releasing the record. Never at the same time as closeHandle on the
// same handle: the record may go under it.
BOOL sendCloseToHandle(Handle* handle);
SystemHandle* createSystemHandle(Pool* pool, HANDLE value);

// Typed handles start with a Handle; this makes one and sets its type word.
template <typename T>
T* createTypedHandle(Pool* pool, DWORD type, DWORD flags, HandleCallback callback) {
    static_assert(offsetof(T, head) == 0, "a typed handle starts with its Handle");
    Handle* handle = createHandle(pool, flags, sizeof(T) - sizeof(Handle), callback);
    if (!handle) return nullptr;
    handle->type = type;
    return reinterpret_cast<T*>(handle);
}

template <typename T>
BOOL closeTypedHandle(T* handle) {
    return handle ? closeHandle(&handle->head) : FALSE;
}
