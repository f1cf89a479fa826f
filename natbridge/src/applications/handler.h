#pragma once
// The function object through which the agent manager asks the core about an application
// start (started = true: answers whether it may run) or reports a stop (the answer is unused).
#include <functional>
#include <string>

namespace brisko {

using Handler = std::function<bool(const std::wstring& applicationId, const std::wstring& applicationName,
                                   const std::wstring& userName, bool started)>;

}  // namespace brisko
