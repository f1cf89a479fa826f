#pragma once
// What the tray's commands and the disable dialog ask of the agent: a ChangeProtection request.
#include <cstdint>
#include <string>

#include "core_link/completion.h"

namespace brisko {

class ProtectionChanger {
public:
    // The completion receives the core's result (0 done, 3 wrong password, other failure) or -1
    // when the connection is lost before the answer; it may run before this call returns.
    virtual void requestProtectionChange(bool enable, int64_t durationMs, const std::string& password,
                                         Completion<int> completion) = 0;

protected:
    ~ProtectionChanger() = default;
};

}  // namespace brisko
