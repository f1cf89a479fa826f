// 1, 10 and 50 stand-in agents (many_agents_puppet.exe), one per session and each of its own
// user, against one agent manager and application registry in this process, with the core's
// decisions answered on the calling RPC thread. Every agent reports 100 new applications at once
// with the others: decisions per second over all of them and the p50 and p99 of one decision's
// round trip; this process's committed and reserved memory at its greatest while 50 agents run
// (each RPC call thread reserves a stack, and in the 32-bit service that address space is shared
// with the JVM's heap), beside the same before any agent ran. Then the 50 again while the first
// user's decisions take 200 ms each: how much the other users' p99 grows over the run before,
// which stays small only when one user's slow decision does not hold up the others.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <sstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "agent_manager/agent_manager.h"
#include "session/session_system.h"
#include "agent_rpc/agent_rpc_server.h"
#include "bench_report.h"
#include "executable_path.h"
#include "many_agents_channel.h"
#include "performance_counter.h"
#include "rpc_bench_channel.h"
#include "test_processes.h"
#include "unique_handle.h"

namespace {

using namespace brisko;
using namespace brisko::bench;

constexpr DWORD kReadTimeoutMs = 120000;
constexpr DWORD kSlowDecisionMs = 200;
constexpr wchar_t kSlowUser[] = L"user1";

int fail(const std::string& why) {
    std::fprintf(stderr, "many_agents_bench: %s\n", why.c_str());
    return 1;
}

std::optional<std::wstring> userOf(DWORD session) { return L"user" + std::to_wstring(session); }

// The address space this process has committed, and reserved in all (committed included).
struct Memory {
    double committed = 0;
    double reserved = 0;
};

Memory memoryNow() {
    Memory memory;
    MEMORY_BASIC_INFORMATION region{};
    for (const char* address = nullptr;
         ::VirtualQuery(address, &region, sizeof region) == sizeof region;
         address = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
        if (region.State == MEM_COMMIT) memory.committed += static_cast<double>(region.RegionSize);
        if (region.State != MEM_FREE) memory.reserved += static_cast<double>(region.RegionSize);
        if (static_cast<const char*>(region.BaseAddress) + region.RegionSize < address) break;
    }
    return memory;
}

// Samples the memory until stopped and keeps the greatest figures.
class MemorySampler {
public:
    MemorySampler() : thread_([this] {
        while (!stop_) {
            const Memory now = memoryNow();
            if (now.committed > greatest_.committed) greatest_.committed = now.committed;
            if (now.reserved > greatest_.reserved) greatest_.reserved = now.reserved;
            ::Sleep(10);
        }
    }) {}
    Memory stop() {
        stop_ = true;
        thread_.join();
        return greatest_;
    }

private:
    std::atomic<bool> stop_ = false;
    Memory greatest_;
    std::thread thread_;
};

struct Run {
    std::vector<double> allMs;     // every decision's round trip
    std::vector<double> othersMs;  // those of the users other than the slow one
    double decisionsPerSecond = 0;
    Memory memory;
};

// Reads the agents' mail until every one of them has sent "end", letting them go once all are
// ready. An agent names itself by process id; the manager knows whose agent it is.
bool collect(HANDLE mailslot, int agents, HANDLE go, Run& run) {
    int ready = 0, ended = 0;
    long long first = 0, last = 0;
    char buffer[8192];
    DWORD read = 0;
    while (ended < agents && ::ReadFile(mailslot, buffer, sizeof buffer, &read, nullptr)) {
        std::istringstream line(std::string(buffer, read));
        std::string kind;
        line >> kind;
        if (kind == "ready") {
            if (++ready == agents) ::SetEvent(go);
        } else if (kind == "times") {
            DWORD processId = 0;
            SupervisedAgent agent;
            line >> processId;
            if (!FindSupervisedAgent(processId, &agent)) {
                std::fprintf(stderr, "many_agents_bench: %lu is no agent of the manager\n", processId);
                return false;
            }
            for (double us = 0; line >> us;) {
                run.allMs.push_back(us / 1000);
                if (agent.userName != kSlowUser) run.othersMs.push_back(us / 1000);
            }
        } else if (kind == "span") {
            long long from = 0, to = 0;
            line >> from >> to;
            if (first == 0 || from < first) first = from;
            if (to > last) last = to;
        } else if (kind == "end") {
            ++ended;
        } else {
            std::fprintf(stderr, "many_agents_puppet: %s\n", line.str().c_str());
            return false;
        }
    }
    if (ended < agents || last <= first) {
        const DWORD error = ::GetLastError();
        std::fprintf(stderr, "many_agents_bench: %d of %d agents ready, %d ended, %u running (read error %lu)\n",
                     ready, agents, ended,
                     static_cast<unsigned>(testing::childProcesses(L"many_agents_puppet.exe").size()), error);
        return false;
    }
    run.decisionsPerSecond = static_cast<double>(run.allMs.size()) / (counterMicroseconds(first, last) / 1e6);
    return true;
}

// One run: a manager whose sessions 1..agents each get an agent of their own user.
bool runAgents(HANDLE mailslot, int agents, bool slowUser, Run& run) {
    std::vector<DWORD> sessions;
    for (DWORD session = 1; session <= static_cast<DWORD>(agents); ++session) sessions.push_back(session);
    CurrentSessionSystem().enumerateSessions = [sessions] { return sessions; };
    const UniqueHandle go(::CreateEventW(nullptr, TRUE, FALSE, manyAgentsGoEvent(::GetCurrentProcessId()).c_str()));
    if (!go) return false;
    const Handler decide = [slowUser](const std::wstring&, const std::wstring&, const std::wstring& user,
                                      bool started) {
        if (slowUser && started && user == kSlowUser) ::Sleep(kSlowDecisionMs);
        return true;
    };
    if (!CreateAgentManager(siblingPath(L"many_agents_puppet.exe"), decide)) return false;
    MemorySampler sampler;
    const bool done = collect(mailslot, agents, go.get(), run);
    run.memory = sampler.stop();
    if (const DWORD status = StopAgentManager(); status != 0) return false;
    return done;
}

}  // namespace

int main() {
    UniqueFile mailslot(
        ::CreateMailslotW(rpcBenchMailslot(::GetCurrentProcessId()).c_str(), 0, kReadTimeoutMs, nullptr));
    if (!mailslot) return fail("cannot create the mailslot");
    // Under Wine: no NTLM to register, and every session of its own user.
    AgentRpcAuthentication() = [] { return 0L; };
    CurrentSessionSystem().sessionUserName = userOf;

    const Memory idle = memoryNow();
    Run fifty;
    for (const int agents : {1, 10, 50}) {
        Run run;
        if (!runAgents(mailslot.get(), agents, false, run))
            return fail("the run with " + std::to_string(agents) + " agents failed");
        const std::string prefix = "agents_" + std::to_string(agents) + "_";
        report(prefix + "decisions_per_second", run.decisionsPerSecond, "per_second");
        report(prefix + "decision_p50", percentile(run.allMs, 50), "ms");
        report(prefix + "decision_p99", percentile(run.allMs, 99), "ms");
        if (agents == 50) fifty = run;
    }
    report("service_committed_bytes_50_agents", fifty.memory.committed, "bytes");
    report("service_reserved_bytes_50_agents", fifty.memory.reserved, "bytes");
    report("service_committed_bytes_before_agents", idle.committed, "bytes");
    report("service_reserved_bytes_before_agents", idle.reserved, "bytes");

    Run slow;
    if (!runAgents(mailslot.get(), 50, true, slow)) return fail("the run with a slow user failed");
    const double othersP99 = percentile(slow.othersMs, 99);
    report("slow_user_others_decision_p99", othersP99, "ms");
    report("slow_user_others_p99_growth", othersP99 - percentile(fifty.othersMs, 99), "ms");
    return 0;
}
