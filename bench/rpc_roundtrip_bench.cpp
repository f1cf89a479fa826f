// An ApplicationStarted round trip through the real agent RPC server, agent manager and
// application registry, with the core's decision answered at once, next to a bare call of a
// procedure that does nothing on the same endpoint. The calls come from rpc_bench_agent.exe,
// which the agent manager launches as the session's agent and which times them; this program
// serves them and prints its figures.
#include <windows.h>

#include <BareCalls.h>

#include <cstdio>
#include <string>

#include "agent_manager/agent_manager.h"
#include "session/session_system.h"
#include "agent_rpc/agent_rpc_server.h"
#include "executable_path.h"
#include "rpc_bench_channel.h"
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

// Prints the agent's lines until "end"; false on an error line or when nothing comes.
bool relayFigures(HANDLE mailslot) {
    char buffer[512];
    DWORD read = 0;
    while (::ReadFile(mailslot, buffer, sizeof buffer, &read, nullptr)) {
        const std::string line(buffer, read);
        if (line == "end") return true;
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
    const bool relayed = relayFigures(mailslot.get());
    if (const DWORD status = StopAgentManager(); status != 0)
        return fail("the agent manager did not stop (" + std::to_string(status) + ")");
    return relayed ? 0 : 1;
}
