#pragma once
// The Windows Runtime calls of combase.dll, bound at run time: on a system without the runtime
// the library still loads, and every call fails with E_NOTIMPL.
#include <windows.h>
#include <hstring.h>
#include <inspectable.h>

#include <string>
#include <string_view>

#include "unique_handle.h"

namespace brisko {

// RoInitialize with RO_INIT_MULTITHREADED for the life of the scope; RoUninitialize only when
// that succeeded. A thread already in another apartment goes on in it.
class RoScope {
public:
    RoScope();
    ~RoScope();
    RoScope(const RoScope&) = delete;
    RoScope& operator=(const RoScope&) = delete;

private:
    bool initialized_ = false;
};

void DeleteHString(HSTRING string) noexcept;
using UniqueHString = UniqueResource<NullInvalidTraits<HSTRING, &DeleteHString>>;

// An empty text, or one the runtime cannot hold, gives the null string (the runtime's empty one).
UniqueHString MakeHString(std::wstring_view text);
// The characters of a runtime string; the null string gives an empty text.
std::wstring HStringText(HSTRING string);

HRESULT ActivateRuntimeClass(std::wstring_view className, IInspectable** instance);

}  // namespace brisko
