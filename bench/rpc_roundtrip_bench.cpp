// An ApplicationStarted round trip through the real agent RPC server, agent manager and
// application registry, with the core's decision answered at once, next to a bare call of a
// procedure that does nothing on the same endpoint. The calls come from rpc_bench_agent.exe,
// which the agent manager launches as the session's agent and which times them; this program
// serves them and prints its figures. Then, while the agent still runs, it times the steps of
// the service's side of a report one by one, so that the overhead over the bare call can be
// placed: the look-up of the calling agent, the checks of the reported process (its session
// and account, its creation time, from one open of it) and the registry's add with its locks.
#include <windows.h>

#include <BareCalls.h>

#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "agent_manager/agent_manager.h"
#include "agent_manager/reported_process.h"
#include "agent_rpc/agent_rpc_server.h"
#include "applications/application_registry.h"
#include "bench_report.h"
#include "executable_path.h"
#include "performance_counter.h"
#include "rpc_bench_channel.h"
#include "session/session_system.h"
#include "test_processes.h"
#include "unique_handle.h"

void Nothing(handle_t) {}

namespace {

using namespace brisko;

constexpr DWORD kReadTimeoutMs = 60000;

int fail(const std::string& why) {
    std::fprintf(stderr, "rpc_roundtrip_bench: %s\n", why.c_str());
    return 1;
}

// Under Wine: one session, and no NTLM to register (the same seams as the manager's tests).
void useWineSeams() {
    AgentRpcAuthentication() = [] { return 0L; };
    CurrentSessionSystem().enumerateSessions = [] { return std::vector<DWORD>{1}; };
}

constexpr int kStepSamples = 2000;

// Median microseconds of one call of the step.
template <typename Step>
double stepTime(Step&& step) {
    std::vector<double> samples;
    for (int i = 0; i < kStepSamples; ++i) {
        const long long start = bench::counterNow();
        step();
        samples.push_back(bench::counterMicroseconds(start, bench::counterNow()));
    }
    return bench::median(samples);
}

// The service's steps of one ApplicationStarted of the agent that reports itself, each timed
// alone with the same functions the server routine calls.
void reportSteps(DWORD agentProcessId) {
    const SessionSystem& system = CurrentSessionSystem();
    SupervisedAgent agent;
    bench::report("rpc_application_started_step_caller_lookup",
                  stepTime([&] { bench::keep(&agent); FindSupervisedAgent(agentProcessId, &agent); }), "us");
    const UniqueHandle process(
        ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, agentProcessId));
    bench::report("rpc_application_started_step_place_read",
                  stepTime([&] { bench::keep(&system); system.placeOfProcess(process.get()); }), "us");
    bench::report("rpc_application_started_step_process_checks",
                  stepTime([&] { StampReportedProcess(agent.place, static_cast<long>(agentProcessId), false); }), "us");
    const std::wstring& user = agent.userName;
    ApplicationRegistry registry([](auto&&...) { return true; }, [](const ApplicationProcess&) {});
    UserApplications* list = registry.open(user, {});
    int application = 0;
    bench::report("rpc_application_started_step_registry_add", stepTime([&] {
                      registry.started(list, {static_cast<int32_t>(agentProcessId),
                                              L"win32:step" + std::to_wstring(application++) + L".exe", L"Step", 1});
                  }),
                  "us");
}

// This process's private bytes; 0 when they cannot be read.
double privateBytes() {
    const std::optional<testing::ProcessFootprint> footprint = testing::processFootprint(::GetCurrentProcessId());
    return footprint ? footprint->privateBytes : 0;
}

// This process's private bytes at the agent's marks, by name.
using Marks = std::map<std::string, double>;

// Prints the agent's lines until "end"; false on an error line or when nothing comes. The agent
// names its process id first ("pid N"), and marks where its measured calls begin and end.
bool relayFigures(HANDLE mailslot, DWORD& agentProcessId, Marks& marks) {
    char buffer[512];
    DWORD read = 0;
    while (::ReadFile(mailslot, buffer, sizeof buffer, &read, nullptr)) {
        const std::string line(buffer, read);
        if (line == "end") return true;
        if (line.starts_with("pid ")) {
            agentProcessId = static_cast<DWORD>(std::stoul(line.substr(4)));
            continue;
        }
        if (line.starts_with("mark ")) {
            marks[line.substr(5)] = privateBytes();
            continue;
        }
        if (line.starts_with("error")) {
            std::fprintf(stderr, "rpc_bench_agent: %s\n", line.c_str());
            return false;
        }
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    }
    std::fprintf(stderr, "rpc_roundtrip_bench: no figures from the agent (%lu)\n", ::GetLastError());
    return false;
}

}  // namespace

int main() {
    UniqueFile mailslot(::CreateMailslotW(bench::rpcBenchMailslot(::GetCurrentProcessId()).c_str(), 0,
                                          kReadTimeoutMs, nullptr));
    if (!mailslot) return fail("cannot create the mailslot");
    // Registered first: the agent the manager launches may call it at once.
    if (const RPC_STATUS status = ::RpcServerRegisterIf2(BareCalls_v1_0_s_ifspec, nullptr, nullptr, 0,
                                                         RPC_C_LISTEN_MAX_CALLS_DEFAULT, 0xFFFFFFFF, nullptr);
        status != RPC_S_OK)
        return fail("cannot register the bare interface (" + std::to_string(status) + ")");
    useWineSeams();
    const Handler allowAtOnce = [](const std::wstring&, const std::wstring&, const std::wstring&, bool) {
        return true;
    };
    if (!CreateAgentManager(siblingPath(L"rpc_bench_agent.exe"), allowAtOnce))
        return fail("the agent manager did not start (is another server on the endpoint?)");
    DWORD agentProcessId = 0;
    Marks marks;
    const bool relayed = relayFigures(mailslot.get(), agentProcessId, marks);
    // The measured reports are of one application, started and stopped: the lists end as they began.
    for (const char* calls : {"bare", "report"}) {
        const std::string name = calls;
        if (marks.contains(name + "-start") && marks.contains(name + "-end"))
            bench::report(std::string("rpc_server_private_bytes_per_") + (name == "bare" ? "bare_call" : "report_pair"),
                          (marks[name + "-end"] - marks[name + "-start"]) / bench::kGrowthCalls, "bytes");
    }
    if (relayed && agentProcessId != 0) reportSteps(agentProcessId);
    if (const DWORD status = StopAgentManager(); status != 0)
        return fail("the agent manager did not stop (" + std::to_string(status) + ")");
    return relayed ? 0 : 1;
}
