#pragma once
// How the stand-in agents of the RPC benchmarks hand their figures to the benchmark that
// launched them through the agent manager (which passes no arguments and no standard streams):
// one mailslot message per line, such as "name value unit", then "end". A line "error ..."
// reports a failure.
#include <windows.h>

#include <tlhelp32.h>

#include <string>

#include "unique_handle.h"

namespace brisko::bench {

// The calls over which the agent measures what a call leaves behind, on both sides: it sends
// "mark NAME-start" and "mark NAME-end" around them.
constexpr int kGrowthCalls = 5000;

inline std::wstring rpcBenchMailslot(DWORD benchProcessId) {
    return L"\\\\.\\mailslot\\harbee-rpc-bench-" + std::to_wstring(benchProcessId);
}

// The benchmark is the agent's parent: the manager launches from the benchmark's process.
inline DWORD parentProcessId() {
    UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry))
        if (entry.th32ProcessID == ::GetCurrentProcessId()) return entry.th32ParentProcessID;
    return 0;
}

// The agent's end of the benchmark's mailslot; several agents may write to it at once.
class Mail {
public:
    explicit Mail(DWORD benchProcessId)
        : slot_(::CreateFileW(rpcBenchMailslot(benchProcessId).c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr)) {}
    explicit operator bool() const { return static_cast<bool>(slot_); }
    void send(const std::string& line) const {
        DWORD written = 0;
        ::WriteFile(slot_.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    }

private:
    UniqueFile slot_;
};

}  // namespace brisko::bench
