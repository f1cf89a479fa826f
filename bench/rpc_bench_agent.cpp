// The calling side of rpc_roundtrip_bench, launched by its agent manager as the session's agent:
// opens the user's application list, then times ApplicationStarted calls (each a new
// application, so each asks the core), each followed by a bare call, and mails the figures to the
// benchmark. Then it measures what the calls leave behind in its own private bytes: after a
// warm-up, per bare call and per ApplicationStarted and ApplicationStopped pair. It reports its
// own process id, which lives in the agent's session. It then waits to be ended with the
// manager: an agent that exits would be launched again.
#include <windows.h>

#include <AgentApplications.h>
#include <BareCalls.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bench_report.h"
#include "rpc_bench_channel.h"
#include "seh_guard.h"
#include "service_rpc/activity_monitor.h"
#include "test_processes.h"
#include "unique_handle.h"

namespace {

using namespace brisko;
using namespace brisko::bench;

constexpr int kRounds = 9;
constexpr int kCallsPerRound = 200;

// Microseconds that one guarded call took, or the RPC status of its failure.
template <typename Call>
DWORD timeCall(Call&& call, double& microseconds) {
    const auto start = Clock::now();
    if (const DWORD status = RunGuarded(std::forward<Call>(call)); status != 0) return status;
    microseconds = secondsSince(start) * 1e6;
    return 0;
}

double privateBytes() {
    const std::optional<testing::ProcessFootprint> footprint = testing::processFootprint(::GetCurrentProcessId());
    return footprint ? footprint->privateBytes : 0;
}

// Bytes of private memory that each call leaves, over kGrowthCalls calls after as many to warm up.
// The benchmark is told where the measured calls begin and end, to measure its own side.
template <typename Call>
DWORD growthPerCall(const Mail& mail, const std::string& name, Call&& call, double& bytesPerCall) {
    double before = 0;
    for (int i = 0; i < 2 * kGrowthCalls; ++i) {
        if (i == kGrowthCalls) {
            mail.send("mark " + name + "-start");
            before = privateBytes();
        }
        if (const DWORD status = call(i); status != 0) return status;
    }
    bytesPerCall = (privateBytes() - before) / kGrowthCalls;
    mail.send("mark " + name + "-end");
    return 0;
}

DWORD clientGrowth(handle_t binding, ApplicationListHandle list, const Mail& mail) {
    const LONG self = static_cast<LONG>(::GetCurrentProcessId());
    std::wstring id = L"win32:growth.exe";
    std::wstring name = L"Growth";
    const RunningApplication record{self, id.data(), name.data()};
    double bare = 0, reports = 0;
    if (const DWORD status =
            growthPerCall(mail, "bare", [&](int) { return RunGuarded([&] { Nothing(binding); }); }, bare);
        status != 0)
        return status;
    const DWORD status = growthPerCall(
        mail, "report",
        [&](int) {
            const DWORD started = RunGuarded([&] { ApplicationStarted(list, record); });
            return started != 0 ? started : RunGuarded([&] { ApplicationStopped(list, record); });
        },
        reports);
    if (status != 0) return status;
    mail.send(figureLine("rpc_client_private_bytes_per_bare_call", bare, "bytes"));
    mail.send(figureLine("rpc_client_private_bytes_per_report_pair", reports, "bytes"));
    return 0;
}

// Each ApplicationStarted is followed at once by a bare call, so every pair sees the same load.
DWORD measure(handle_t binding, const Mail& mail) {
    const LONG self = static_cast<LONG>(::GetCurrentProcessId());
    RunningApplication none{};
    ApplicationListHandle list = nullptr;
    if (const DWORD status = RunGuarded([&] { list = OpenApplicationList(binding, 0, &none); }); status != 0)
        return status;

    std::wstring name = L"Bench";
    std::vector<double> started, bare, ratios;
    int application = 0;
    for (int round = 0; round < kRounds; ++round) {
        std::vector<std::wstring> ids;
        for (int i = 0; i < kCallsPerRound; ++i) {
            ids.push_back(L"win32:bench" + std::to_wstring(application++) + L".exe");
            double startedUs = 0, bareUs = 0;
            const RunningApplication record{self, ids.back().data(), name.data()};
            DWORD status = timeCall([&] { ApplicationStarted(list, record); }, startedUs);
            if (status == 0) status = timeCall([&] { Nothing(binding); }, bareUs);
            if (status != 0) return status;
            started.push_back(startedUs);
            bare.push_back(bareUs);
            ratios.push_back(startedUs / bareUs);
        }
        // Untimed: each stop takes one of this round's applications off the list again.
        for (std::wstring& id : ids) {
            const RunningApplication record{self, id.data(), name.data()};
            if (const DWORD status = RunGuarded([&] { ApplicationStopped(list, record); }); status != 0) return status;
        }
    }
    if (const DWORD status = clientGrowth(binding, list, mail); status != 0) return status;
    RunGuarded([&] { CloseApplicationList(&list); });
    mail.send(figureLine("rpc_application_started", median(started), "us/call"));
    mail.send(figureLine("rpc_bare_call", median(bare), "us/call"));
    mail.send(figureLine("rpc_application_started_time_vs_bare", median(ratios), "x"));
    return 0;
}

}  // namespace

int wmain() {
    const Mail mail(parentProcessId());
    if (!mail) return 2;
    mail.send("pid " + std::to_string(::GetCurrentProcessId()));
    UniqueRpcBinding binding;
    const RPC_STATUS bound = bindServiceEndpoint(binding);
    const DWORD status = bound != RPC_S_OK ? bound : measure(binding.get(), mail);
    mail.send(status == 0 ? "end" : "error: RPC status " + std::to_string(status));
    for (;;) ::Sleep(INFINITE);
}
