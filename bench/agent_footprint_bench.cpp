// The shipped agent's footprint (the fake-desktop build: the shipped agent whose window monitor
// watches a desktop driven over a pipe): private bytes, working set and handle count idle and
// connected, and after 1,000 and 10,000 windows of an application opened and closed one after
// the other, next to a bare program with the same kind of message loop. Each window opens once
// the agent has reported the last one's close, so the figures are what the agent keeps, not a
// backlog of its work queue. This process plays
// the service (an agent manager that launches the agent, deciding at once) and the core (the
// test core on 127.0.0.1:3800).
#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <optional>
#include <string>

#include "agent_manager/agent_manager.h"
#include "session/session_system.h"
#include "agent_rpc/agent_rpc_server.h"
#include "bench_report.h"
#include "desktop_session.h"
#include "executable_path.h"
#include "test_core.h"
#include "test_processes.h"
#include "unique_handle.h"

namespace {

using namespace brisko;
using namespace brisko::bench;
using brisko::testing::Application;
using brisko::testing::DesktopControl;
using brisko::testing::KillOnCloseJob;
using brisko::testing::StartApplication;

constexpr DWORD kSettleMs = 2000;

// The agent's reports as this process's decisions see them.
std::atomic<long> starts = 0, stops = 0;

bool waitFor(const std::atomic<long>& count, long wanted) {
    for (int i = 0; i < 60000 && count < wanted; ++i) ::Sleep(1);
    return count >= wanted;
}

int fail(const std::string& why) {
    std::fprintf(stderr, "agent_footprint_bench: %s\n", why.c_str());
    return 1;
}

using Footprint = testing::ProcessFootprint;

bool footprintOf(DWORD processId, Footprint& footprint) {
    const std::optional<Footprint> read = testing::processFootprint(processId);
    if (read) footprint = *read;
    return read.has_value();
}

void reportFootprint(const std::string& name, const Footprint& footprint) {
    report(name + "_private_bytes", footprint.privateBytes, "bytes");
    report(name + "_working_set", footprint.workingSet, "bytes");
    report(name + "_handles", footprint.handles, "handles");
}

// The agent's process: the one the manager supervises, found among this process's children.
DWORD agentProcess() {
    for (const DWORD processId : testing::childProcesses(testing::kFakeDesktopAgent))
        if (FindSupervisedAgent(processId, nullptr)) return processId;
    return 0;
}

// Empty when every window went through; otherwise the step that did not.
std::string openAndClose(DesktopControl& desktop, DWORD applicationId, int& nextWindow, int count) {
    for (int i = 0; i < count; ++i, ++nextWindow) {
        const std::string id = std::to_string(nextWindow);
        const long started = starts, stopped = stops;
        if (const std::string answer = desktop.send("open " + id + " pid=" + std::to_string(applicationId));
            answer != "ok")
            return "window " + id + ": the desktop answered " + answer;
        if (!waitFor(starts, started + 1)) return "window " + id + ": the agent did not report its start";
        if (const std::string answer = desktop.send("close " + id); answer != "ok")
            return "window " + id + ": the desktop answered its close with " + answer;
        if (!waitFor(stops, stopped + 1)) return "window " + id + ": the agent did not report its stop";
    }
    return {};
}

int measure(const KillOnCloseJob& job) {
    testing::TestCore core(3800);
    const Handler count = [](const std::wstring&, const std::wstring&, const std::wstring&, bool started) {
        ++(started ? starts : stops);
        return true;
    };
    if (!CreateAgentManager(siblingPath(testing::kFakeDesktopAgent), count))
        return fail("the agent manager did not start (is another server on the endpoint?)");
    DWORD agent = 0;
    for (int i = 0; i < 600 && (agent == 0 || core.received().empty()); ++i) {
        ::Sleep(100);
        if (agent == 0) agent = agentProcess();
    }
    if (agent == 0 || core.received().empty()) return fail("the agent did not connect to the core");
    DesktopControl desktop;
    if (!desktop.connect()) return fail("the agent's desktop never came up");

    // The bare program is started beside the agent and measured at the same moment.
    Application bare = StartApplication(job, L"bare_loop.exe");
    if (!bare.process) return fail("bare_loop.exe did not start");
    ::Sleep(kSettleMs);
    Footprint idle, bareIdle;
    if (!footprintOf(agent, idle) || !footprintOf(bare.processId, bareIdle))
        return fail("cannot read the processes' memory and handle counts");
    reportFootprint("agent_idle_connected", idle);
    reportFootprint("bare_loop", bareIdle);
    report("agent_idle_private_bytes_over_bare", idle.privateBytes - bareIdle.privateBytes, "bytes");
    report("agent_idle_working_set_over_bare", idle.workingSet - bareIdle.workingSet, "bytes");
    report("agent_idle_handles_over_bare", idle.handles - bareIdle.handles, "handles");

    Application application = StartApplication(job, L"MyApp.EXE");
    if (!application.process) return fail("MyApp.EXE did not start");
    int nextWindow = 1;
    Footprint after1000, after10000;
    if (const std::string failure = openAndClose(desktop, application.processId, nextWindow, 1000); !failure.empty())
        return fail(failure);
    ::Sleep(kSettleMs);
    if (!footprintOf(agent, after1000)) return fail("cannot read the agent's footprint");
    if (const std::string failure = openAndClose(desktop, application.processId, nextWindow, 9000); !failure.empty())
        return fail(failure);
    ::Sleep(kSettleMs);
    if (!footprintOf(agent, after10000)) return fail("cannot read the agent's footprint");
    reportFootprint("agent_after_1000_windows", after1000);
    reportFootprint("agent_after_10000_windows", after10000);
    report("agent_private_growth_1000_to_10000_windows",
           (after10000.privateBytes - after1000.privateBytes) * 100 / after1000.privateBytes, "%");
    report("agent_handles_growth_1000_to_10000_windows", after10000.handles - after1000.handles, "handles");
    if (const DWORD status = StopAgentManager(); status != 0) return fail("the agent manager did not stop");
    return 0;
}

}  // namespace

int main() {
    // Under Wine: one session, and no NTLM to register.
    AgentRpcAuthentication() = [] { return 0L; };
    CurrentSessionSystem().enumerateSessions = [] { return std::vector<DWORD>{1}; };
    const KillOnCloseJob job;
    return measure(job);
}
