#include "java/jvm_library.h"

#include <cwchar>

#include "foundation/log.h"
#include "foundation/pool.h"
#include "proc_address.h"
#include "registry/system_registry.h"
#include "unique_handle.h"

JvmLibrary JvmState = {};

namespace {

constexpr size_t LibraryPathChars = 4096;
constexpr int SeparatorsWalked = 2;

typedef BOOL(WINAPI* SetDllDirectoryFunction)(const wchar_t* directory);

bool fileExists(const wchar_t* path) { return path && ::GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

// A 32-bit JVM may export an entry under its stdcall-decorated name only (underscore, name,
// "@" and the bytes of its arguments); 64-bit names are never decorated.
struct EntryName {
    const char* plain;
    const char* decorated;
};
constexpr EntryName GetDefaultJavaVMInitArgsName = {"JNI_GetDefaultJavaVMInitArgs", "_JNI_GetDefaultJavaVMInitArgs@4"};
constexpr EntryName CreateJavaVMName = {"JNI_CreateJavaVM", "_JNI_CreateJavaVM@12"};
constexpr EntryName GetCreatedJavaVMsName = {"JNI_GetCreatedJavaVMs", "_JNI_GetCreatedJavaVMs@12"};
constexpr EntryName DumpAllStacksName = {"JVM_DumpAllStacks", "_JVM_DumpAllStacks@8"};

template <typename Function>
Function resolveEntry(HMODULE module, const EntryName& name) {
    if (const auto entry = brisko::procAddress<Function>(module, name.plain)) return entry;
    return brisko::procAddress<Function>(module, name.decorated);
}

// Calls visit with the path cut at each of its last separators ("\" or "/"), nearest first,
// until visit answers true or two separators were passed.
template <typename Visit>
void walkParentDirectories(const wchar_t* path, Visit visit) {
    wchar_t directory[LibraryPathChars];
    _snwprintf(directory, LibraryPathChars, L"%s", path);
    directory[LibraryPathChars - 1] = L'\0';
    int seen = 0;
    for (size_t i = std::wcslen(directory); i > 0 && seen < SeparatorsWalked; --i) {
        if (directory[i - 1] != L'\\' && directory[i - 1] != L'/') continue;
        directory[i - 1] = L'\0';
        ++seen;
        if (visit(directory)) return;
    }
}

// Older runtimes need their C library loaded first; it lies beside the JVM or one level up.
void preloadRuntimeLibrary(const wchar_t* path) {
    walkParentDirectories(path, [](const wchar_t* directory) {
        wchar_t candidate[LibraryPathChars];
        _snwprintf(candidate, LibraryPathChars, L"%s\\msvcrt71.dll", directory);
        candidate[LibraryPathChars - 1] = L'\0';
        if (!fileExists(candidate) || !::LoadLibraryW(candidate)) return false;
        LOG_DEBUG("preloaded '%S'", candidate);
        return true;
    });
}

// Each of the two directories becomes the DLL directory in turn, so the library's parent is the
// one that stays.
HMODULE loadWithDllDirectory(const wchar_t* path) {
    const auto setDllDirectory =
        brisko::procAddress<SetDllDirectoryFunction>(::GetModuleHandleW(L"KERNEL32"), "SetDllDirectoryW");
    if (setDllDirectory) {
        walkParentDirectories(path, [setDllDirectory](const wchar_t* directory) {
            LOG_DEBUG("Setting DLL search path to '%S'", directory);
            setDllDirectory(directory);
            return false;
        });
    }
    if (const HMODULE module = ::LoadLibraryW(path)) return module;
    return ::LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// The configured library, or the installed runtime's, or jvm.dll of the runtime's home.
BOOL chooseLibraryPath(const wchar_t* configured, wchar_t* out) {
    if (configured) {
        if (!fileExists(configured)) {
            LOG_DEBUG("Invalid RuntimeLib specified '%S'", configured);
            ::SetLastError(ERROR_FILE_NOT_FOUND);
            return FALSE;
        }
        _snwprintf(out, LibraryPathChars, L"%s", configured);
        out[LibraryPathChars - 1] = L'\0';
        return TRUE;
    }
    const wchar_t* runtimeLib = findRuntimeLib();
    if (!runtimeLib) {
        ::SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    _snwprintf(out, LibraryPathChars, L"%s", runtimeLib);
    out[LibraryPathChars - 1] = L'\0';
    if (fileExists(out)) return TRUE;
    LOG_DEBUG("Invalid RuntimeLib '%S'", out);
    if (const wchar_t* home = findJavaHome(TRUE)) {
        LOG_DEBUG("Using Jre JavaHome '%S'", home);
        _snwprintf(out, LibraryPathChars, L"%s\\bin\\server\\jvm.dll", home);
        out[LibraryPathChars - 1] = L'\0';
    }
    return TRUE;
}

HMODULE loadLibraryFile(const wchar_t* path) {
    const UINT oldMode = ::SetErrorMode(SEM_FAILCRITICALERRORS);
    LOG_DEBUG("loading jvm '%S'", path);
    HMODULE module = ::LoadLibraryW(path);
    if (!module && fileExists(path)) preloadRuntimeLibrary(path);
    if (!module) module = ::LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!module) module = loadWithDllDirectory(path);
    const DWORD error = ::GetLastError();
    ::SetErrorMode(oldMode);
    ::SetLastError(error);
    return module;
}

DWORD WINAPI destroyThread(void* parameter) {
    auto* vm = static_cast<JavaVM*>(parameter);
    return static_cast<DWORD>(vm->DestroyJavaVM());
}

}  // namespace

BOOL loadJvmLibrary(const wchar_t* path) {
    if (JvmState.module) return TRUE;
    wchar_t library[LibraryPathChars];
    if (!chooseLibraryPath(path, library)) return FALSE;
    const HMODULE module = loadLibraryFile(library);
    if (!module) {
        LOG_SYSTEM_ERROR();
        return FALSE;
    }
    JvmState.getDefaultJavaVMInitArgs =
        resolveEntry<GetDefaultJavaVMInitArgsFunction>(module, GetDefaultJavaVMInitArgsName);
    JvmState.createJavaVM = resolveEntry<CreateJavaVMFunction>(module, CreateJavaVMName);
    JvmState.getCreatedJavaVMs = resolveEntry<GetCreatedJavaVMsFunction>(module, GetCreatedJavaVMsName);
    JvmState.dumpAllStacks = resolveEntry<DumpAllStacksFunction>(module, DumpAllStacksName);
    if (!JvmState.getDefaultJavaVMInitArgs || !JvmState.createJavaVM || !JvmState.getCreatedJavaVMs) {
        ::SetLastError(ERROR_PROC_NOT_FOUND);
        LOG_SYSTEM_ERROR();
        ::FreeLibrary(module);
        JvmState = {};
        ::SetLastError(ERROR_PROC_NOT_FOUND);
        return FALSE;
    }
    JvmState.module = module;
    return TRUE;
}

void unloadJvmLibrary() {
    if (!JvmState.module || JvmState.vmAlive) return;
    ::FreeLibrary(JvmState.module);
    JvmState = {};
}

void recordProcessVm(JavaVM* vm) {
    if (!vm) return;
    if (::InterlockedCompareExchangePointer(reinterpret_cast<void* volatile*>(&JvmState.processVm), vm, nullptr) ==
        nullptr)
        ::InterlockedExchange(&JvmState.vmAlive, TRUE);
}

BOOL destroyJavaVm(DWORD timeoutMs) {
    auto* vm = static_cast<JavaVM*>(
        ::InterlockedExchangePointer(reinterpret_cast<void* volatile*>(&JvmState.processVm), nullptr));
    if (!vm) return TRUE;
    JNIEnv* env = nullptr;
    if (vm->GetEnv(reinterpret_cast<void**>(&env), JNI_VERSION_1_2) == JNI_OK) vm->DetachCurrentThread();
    const brisko::UniqueHandle thread(::CreateThread(nullptr, 0, destroyThread, vm, 0, nullptr));
    if (!thread) {
        LOG_SYSTEM_ERROR();
        return FALSE;
    }
    const bool ended = ::WaitForSingleObject(thread.get(), timeoutMs) == WAIT_OBJECT_0;
    if (ended) ::InterlockedExchange(&JvmState.vmAlive, FALSE);
    return ended;
}
