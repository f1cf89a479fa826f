#pragma once
// An entry point of a system DLL, bound at run time from the system folder: one that older
// Windows versions lack, or one of a DLL the plug-in must not import (the import would be looked
// up beside the setup program first). The name is recorded when the plug-in loads, looked up on
// first use, and a missing module or function is remembered as unavailable. The installer calls
// from one thread; the state is a plain word that a second thread could only set to the same
// value.
#include <windows.h>

namespace brisko {

class LazyEntry {
public:
    // The names are kept, not copied: literals. moduleName is a plain file name.
    LazyEntry(const wchar_t* moduleName, const char* functionName) : moduleName_(moduleName), functionName_(functionName) {}
    LazyEntry(const LazyEntry&) = delete;
    LazyEntry& operator=(const LazyEntry&) = delete;

    // The entry point as Function, or null when it is unavailable. A module that has the entry
    // point stays loaded for good.
    template <typename Function>
    Function get() {
        return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(resolve()));
    }

private:
    enum class State { Unresolved, Resolved, Unavailable };

    FARPROC resolve();

    const wchar_t* moduleName_;
    const char* functionName_;
    State state_ = State::Unresolved;
    FARPROC address_ = nullptr;
};

}  // namespace brisko
