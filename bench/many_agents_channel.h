#pragma once
// The event on which many_agents_bench lets its stand-in agents start reporting, all at once.
#include <windows.h>

#include <string>

namespace brisko::bench {

inline std::wstring manyAgentsGoEvent(DWORD benchProcessId) {
    return L"harbee-many-agents-go-" + std::to_wstring(benchProcessId);
}

}  // namespace brisko::bench
