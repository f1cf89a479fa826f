#include "lazy_entry.h"

#include "unique_handle.h"

namespace brisko {

FARPROC LazyEntry::resolve() {
    if (state_ != State::Unresolved) return address_;
    UniqueModule module(::LoadLibraryW(moduleName_));
    address_ = module ? ::GetProcAddress(module.get(), functionName_) : nullptr;
    if (address_) {
        module.release();
        state_ = State::Resolved;
    } else {
        state_ = State::Unavailable;
    }
    return address_;
}

}  // namespace brisko
