#pragma once
// How the stand-in agent of the RPC benchmark hands its figures to the benchmark that launched
// it through the agent manager (which passes no arguments and no standard streams): one mailslot
// message per "name value unit" line, then "end". A line "error ..." reports a failure.
#include <windows.h>

#include <string>

namespace brisko::bench {

inline std::wstring rpcBenchMailslot(DWORD benchProcessId) {
    return L"\\\\.\\mailslot\\harbee-rpc-bench-" + std::to_wstring(benchProcessId);
}

}  // namespace brisko::bench
