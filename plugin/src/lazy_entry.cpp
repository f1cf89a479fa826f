#include "lazy_entry.h"

#include "system_library.h"

namespace brisko {

FARPROC LazyEntry::resolve() {
    if (state_ != State::Unresolved) return address_;
    address_ = SystemProcAddress<FARPROC>(moduleName_, functionName_);
    state_ = address_ ? State::Resolved : State::Unavailable;
    return address_;
}

}  // namespace brisko
