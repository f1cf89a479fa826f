#pragma once
// An entry point looked up at run time, as the function type the caller names.
#include <windows.h>

namespace brisko {

// Null when the module lacks the name.
template <typename Function>
Function procAddress(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

}  // namespace brisko
