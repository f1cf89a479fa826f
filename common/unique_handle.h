#pragma once
// One owner per kind of handle: every early return releases what was opened.
#include <utility>

#include <winsock2.h>
#include <windows.h>

#include <rpc.h>

namespace brisko {

template <typename Traits>
class UniqueResource {
public:
    using Type = typename Traits::Type;

    UniqueResource() = default;
    explicit UniqueResource(Type value) : value_(value) {}
    UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        reset(other.release());
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    ~UniqueResource() { reset(); }

    Type get() const { return value_; }
    Type* put() {
        reset();
        return &value_;
    }
    Type release() { return std::exchange(value_, Traits::invalid()); }
    void reset(Type value = Traits::invalid()) {
        if (value_ != Traits::invalid()) Traits::close(value_);
        value_ = value;
    }
    explicit operator bool() const { return value_ != Traits::invalid(); }

private:
    Type value_ = Traits::invalid();
};

template <typename T, auto Close>
struct NullInvalidTraits {
    using Type = T;
    static Type invalid() noexcept { return Type{}; }
    static void close(Type value) noexcept { Close(value); }
};

struct FileHandleTraits {
    using Type = HANDLE;
    static Type invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(Type value) noexcept { ::CloseHandle(value); }
};

struct FindTraits {
    using Type = HANDLE;
    static Type invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(Type value) noexcept { ::FindClose(value); }
};

struct SocketTraits {
    using Type = SOCKET;
    static Type invalid() noexcept { return INVALID_SOCKET; }
    static void close(Type value) noexcept { ::closesocket(value); }
};

inline void closeHandle(HANDLE h) noexcept { ::CloseHandle(h); }
inline void closeKey(HKEY k) noexcept { ::RegCloseKey(k); }
inline void destroyWindow(HWND w) noexcept { ::DestroyWindow(w); }
inline void freeLibrary(HMODULE m) noexcept { ::FreeLibrary(m); }
inline void closeWindowStation(HWINSTA w) noexcept { ::CloseWindowStation(w); }
inline void closeDesktop(HDESK d) noexcept { ::CloseDesktop(d); }
inline void unregisterPowerSetting(HPOWERNOTIFY n) noexcept { ::UnregisterPowerSettingNotification(n); }
inline void freeRpcBinding(RPC_BINDING_HANDLE b) noexcept { ::RpcBindingFree(&b); }
inline void unhookWindowsHook(HHOOK h) noexcept { ::UnhookWindowsHookEx(h); }
inline void closeServiceHandle(SC_HANDLE s) noexcept { ::CloseServiceHandle(s); }
inline void destroyMenu(HMENU m) noexcept { ::DestroyMenu(m); }
inline void deleteFont(HFONT f) noexcept { ::DeleteObject(f); }
inline void destroyIcon(HICON i) noexcept { ::DestroyIcon(i); }

// Kernel objects that answer null on failure (events, threads, processes, tokens).
using UniqueHandle = UniqueResource<NullInvalidTraits<HANDLE, &closeHandle>>;
// Kernel objects that answer INVALID_HANDLE_VALUE on failure (files, snapshots).
using UniqueFile = UniqueResource<FileHandleTraits>;
// Directory searches (FindFirstFile).
using UniqueFind = UniqueResource<FindTraits>;
using UniqueKey = UniqueResource<NullInvalidTraits<HKEY, &closeKey>>;
using UniqueSocket = UniqueResource<SocketTraits>;
using UniqueWindow = UniqueResource<NullInvalidTraits<HWND, &destroyWindow>>;
using UniqueModule = UniqueResource<NullInvalidTraits<HMODULE, &freeLibrary>>;
using UniqueWindowStation = UniqueResource<NullInvalidTraits<HWINSTA, &closeWindowStation>>;
using UniqueDesktop = UniqueResource<NullInvalidTraits<HDESK, &closeDesktop>>;
using UniquePowerNotify = UniqueResource<NullInvalidTraits<HPOWERNOTIFY, &unregisterPowerSetting>>;
using UniqueHook = UniqueResource<NullInvalidTraits<HHOOK, &unhookWindowsHook>>;
// Service control manager connections and services (advapi32).
using UniqueServiceHandle = UniqueResource<NullInvalidTraits<SC_HANDLE, &closeServiceHandle>>;
using UniqueMenu = UniqueResource<NullInvalidTraits<HMENU, &destroyMenu>>;
using UniqueFont = UniqueResource<NullInvalidTraits<HFONT, &deleteFont>>;  // link gdi32 where used
// Icons loaded without LR_SHARED (shared ones belong to the system).
using UniqueIcon = UniqueResource<NullInvalidTraits<HICON, &destroyIcon>>;
// RPC client bindings (link rpcrt4 where used).
using UniqueRpcBinding = UniqueResource<NullInvalidTraits<RPC_BINDING_HANDLE, &freeRpcBinding>>;

}  // namespace brisko
