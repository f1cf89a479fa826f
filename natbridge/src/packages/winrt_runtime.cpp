#include "packages/winrt_runtime.h"

#include <roapi.h>

#include <mutex>

#include "proc_address.h"
#include "system_library.h"

namespace brisko {
namespace {

struct Runtime {
    HRESULT(WINAPI* initialize)(RO_INIT_TYPE) = nullptr;
    void(WINAPI* uninitialize)() = nullptr;
    HRESULT(WINAPI* activateInstance)(HSTRING, IInspectable**) = nullptr;
    HRESULT(WINAPI* createString)(LPCWSTR, UINT32, HSTRING*) = nullptr;
    HRESULT(WINAPI* deleteString)(HSTRING) = nullptr;
    PCWSTR(WINAPI* rawBuffer)(HSTRING, UINT32*) = nullptr;

    bool complete() const {
        return initialize && uninitialize && activateInstance && createString && deleteString && rawBuffer;
    }
};

// Looked up once, in the system folder; combase.dll stays loaded for the life of the process once
// it was found whole.
const Runtime& TheRuntime() {
    static Runtime runtime;
    static std::once_flag once;
    std::call_once(once, [] {
        HMODULE combase = LoadSystemLibrary(L"combase.dll");
        if (!combase) return;
        Runtime found;
        found.initialize = procAddress<decltype(found.initialize)>(combase, "RoInitialize");
        found.uninitialize = procAddress<decltype(found.uninitialize)>(combase, "RoUninitialize");
        found.activateInstance = procAddress<decltype(found.activateInstance)>(combase, "RoActivateInstance");
        found.createString = procAddress<decltype(found.createString)>(combase, "WindowsCreateString");
        found.deleteString = procAddress<decltype(found.deleteString)>(combase, "WindowsDeleteString");
        found.rawBuffer = procAddress<decltype(found.rawBuffer)>(combase, "WindowsGetStringRawBuffer");
        if (found.complete())
            runtime = found;
        else
            ::FreeLibrary(combase);
    });
    return runtime;
}

}  // namespace

RoScope::RoScope() {
    const Runtime& runtime = TheRuntime();
    initialized_ = runtime.complete() && SUCCEEDED(runtime.initialize(RO_INIT_MULTITHREADED));
}

RoScope::~RoScope() {
    if (initialized_) TheRuntime().uninitialize();
}

void DeleteHString(HSTRING string) noexcept {
    if (const Runtime& runtime = TheRuntime(); runtime.complete()) runtime.deleteString(string);
}

UniqueHString MakeHString(std::wstring_view text) {
    UniqueHString string;
    const Runtime& runtime = TheRuntime();
    if (runtime.complete() && !text.empty())
        runtime.createString(text.data(), static_cast<UINT32>(text.size()), string.put());
    return string;
}

std::wstring HStringText(HSTRING string) {
    const Runtime& runtime = TheRuntime();
    if (!string || !runtime.complete()) return {};
    UINT32 length = 0;
    const wchar_t* characters = runtime.rawBuffer(string, &length);
    return characters ? std::wstring(characters, length) : std::wstring();
}

HRESULT ActivateRuntimeClass(std::wstring_view className, IInspectable** instance) {
    const Runtime& runtime = TheRuntime();
    if (!runtime.complete()) return E_NOTIMPL;
    const UniqueHString name = MakeHString(className);
    if (!name) return E_OUTOFMEMORY;
    return runtime.activateInstance(name.get(), instance);
}

}  // namespace brisko
