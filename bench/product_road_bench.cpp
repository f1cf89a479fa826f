// The product as a service (harbeesrv.exe with the test JVM and the demo core, the fake-desktop
// agent): how long the service takes from its start to the core's "started" and from its stop
// request to "stopped", each beside the core's own share measured inside the test JVM (its log
// lines), so that the runner's share shows; and, on the road of one application start, from a
// window opening on the agent's desktop to the core's decision and from the decision to the
// refused process's end. Every stamp is the performance counter, which the demo core also writes
// into each line of its log.
//
// Baselines from the same run: each refusal is followed by round trips of a call on the
// service's own RPC endpoint that the service refuses (it answers this process's
// OpenApplicationList at once with "access denied", since only its agents may call: the
// transport, the caller check and the refusal raised back as an RPC exception), and by a bare
// OpenProcess, TerminateProcess and wait of a process of the same program, which is what the
// refusal's end costs without the product.
#include <windows.h>

#include <AgentApplications.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench_report.h"
#include "desktop_session.h"
#include "executable_path.h"
#include "performance_counter.h"
#include "seh_guard.h"
#include "service_rpc/activity_monitor.h"
#include "unique_handle.h"

namespace {

using namespace brisko;
using namespace brisko::bench;
using brisko::testing::Application;
using brisko::testing::DesktopControl;
using brisko::testing::KillOnCloseJob;
using brisko::testing::StartApplication;

constexpr wchar_t kService[] = L"HarbeeBench";
constexpr int kRefusals = 9;
constexpr int kRefusedCallsPerRefusal = 50;
constexpr DWORD kPatienceMs = 60000;

int fail(const std::string& why) {
    std::fprintf(stderr, "product_road_bench: %s\n", why.c_str());
    return 1;
}

std::wstring folder() {
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp) + L"harbee-bench";
}

// The counter stamp of the n-th (from 1) line of the core's log that holds the text; polls
// until it is there, -1 when it never comes.
long long coreStamp(const std::wstring& log, const std::string& text, int occurrence = 1) {
    for (DWORD waited = 0; waited < kPatienceMs; waited += 5) {
        int seen = 0;
        for (const testing::StampedLine& line : testing::StampedCoreLogLines(log))
            if (line.text.find(text) != std::string::npos && ++seen == occurrence) return line.counter;
        ::Sleep(5);
    }
    return -1;
}

struct ServiceControl {
    UniqueServiceHandle manager{::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)};
    UniqueServiceHandle service{manager ? ::OpenServiceW(manager.get(), kService, SERVICE_ALL_ACCESS) : nullptr};

    bool waitFor(DWORD state) const {
        SERVICE_STATUS status{};
        for (DWORD waited = 0; waited < kPatienceMs; waited += 5) {
            if (::QueryServiceStatus(service.get(), &status) && status.dwCurrentState == state) return true;
            ::Sleep(5);
        }
        return false;
    }
};

// The refused call's round trip in microseconds, median of a batch; -1 when the service does
// not answer as expected.
double refusedCall(handle_t binding) {
    RunningApplication none{};
    std::vector<double> samples;
    for (int i = 0; i < kRefusedCallsPerRefusal; ++i) {
        ApplicationListHandle list = nullptr;
        const auto start = Clock::now();
        if (RunGuarded([&] { list = OpenApplicationList(binding, 0, &none); }) != RPC_S_ACCESS_DENIED) return -1;
        samples.push_back(secondsSince(start) * 1e6);
    }
    return median(samples);
}

struct Binding {
    UniqueRpcBinding handle;
    Binding() { bindServiceEndpoint(handle); }
};

// OpenProcess, TerminateProcess and the wait for the end of a process of the refused program,
// in microseconds; -1 when the process cannot be started or ended.
double bareTerminateAndWait(const KillOnCloseJob& job) {
    const Application victim = StartApplication(job, L"notepad.exe");
    if (!victim.process) return -1;
    ::Sleep(100);
    const long long start = counterNow();
    const UniqueHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, victim.processId));
    if (!process || !::TerminateProcess(process.get(), 0) ||
        ::WaitForSingleObject(process.get(), kPatienceMs) != WAIT_OBJECT_0)
        return -1;
    return counterMicroseconds(start, counterNow());
}

int measureRoad(const std::wstring& coreLog) {
    const KillOnCloseJob job;
    DesktopControl desktop;
    if (!desktop.connect()) return fail("the agent's desktop never came up");
    Binding binding;
    if (!binding.handle) return fail("no RPC binding to the service");

    std::vector<double> toDecision, toEnd, refusedCalls, bareEnds, decisionRatios, endRatios, endVsBare;
    for (int round = 1; round <= kRefusals; ++round) {
        Application refused = StartApplication(job, L"notepad.exe");
        if (!refused.process) return fail("notepad.exe did not start");
        ::Sleep(200);
        const long long opened = counterNow();
        if (desktop.send("open " + std::to_string(round) + " pid=" + std::to_string(refused.processId)) != "ok")
            return fail("the desktop refused a window");
        // The end is stamped as the wait returns; the decision, which came before it, is read
        // from the log afterwards.
        if (::WaitForSingleObject(refused.process.get(), kPatienceMs) != WAIT_OBJECT_0)
            return fail("the refusal was not carried out");
        const long long ended = counterNow();
        const long long decided = coreStamp(coreLog, "shouldStartApplication(win32:notepad.exe", round);
        if (decided <= 0) return fail("the core's log has no decision with a counter stamp");
        desktop.send("close " + std::to_string(round));
        const double callUs = refusedCall(binding.handle.get());
        if (callUs <= 0) return fail("the service did not refuse the call as expected");
        const double bareUs = bareTerminateAndWait(job);
        if (bareUs <= 0) return fail("the bare terminate and wait failed");
        toDecision.push_back(counterMicroseconds(opened, decided));
        toEnd.push_back(counterMicroseconds(decided, ended));
        refusedCalls.push_back(callUs);
        bareEnds.push_back(bareUs);
        decisionRatios.push_back(toDecision.back() / callUs);
        endRatios.push_back(toEnd.back() / callUs);
        endVsBare.push_back(toEnd.back() / bareUs);
    }
    report("window_to_decision", median(toDecision), "us");
    report("refusal_to_process_end", median(toEnd), "us");
    report("refused_rpc_call", median(refusedCalls), "us/call");
    report("bare_terminate_and_wait", median(bareEnds), "us");
    report("window_to_decision_vs_refused_call", median(decisionRatios), "x");
    report("refusal_to_process_end_vs_refused_call", median(endRatios), "x");
    report("refusal_to_process_end_vs_bare_terminate_and_wait", median(endVsBare), "x");
    return 0;
}

int run() {
    const std::wstring logs = folder();
    const std::wstring coreLog = logs + L"\\core.log";
    testing::RunRunner(std::wstring(L"//DS//") + kService);
    ::CreateDirectoryW(logs.c_str(), nullptr);
    ::DeleteFileW(coreLog.c_str());
    const std::wstring install =
        std::wstring(L"//IS//") + kService + L" --StartMode=jvm --StopMode=jvm --Jvm=\"" + siblingPath(L"jvm.dll") +
        L"\" --Classpath=\"" + siblingPath(L"democore.dll") +
        L"\" --StartClass=demo.Core --StopClass=demo.Core --StopMethod=stop --StopTimeout=30 \"--StartParams=agent=" +
        siblingPath(L"harbeeagent_fakedesktop.exe") + L";refuse=win32:notepad.exe;announce-logon;log=" + coreLog +
        L"\" \"--LogPath=" + logs + L"\"";
    if (testing::RunRunner(install) != 0) return fail("the service could not be installed");

    ServiceControl control;
    if (!control.service) return fail("the installed service cannot be opened");
    const long long startRequested = counterNow();
    // Started the way a person starts it. (Under Wine, a service that this very process starts
    // with StartServiceW launches no agent; one started by another process does.)
    if (testing::RunRunner(std::wstring(L"//ES//") + kService) != 0) return fail("the service did not start");
    const long long coreStarted = coreStamp(coreLog, "SystemEventThread started");
    const long long coreStarting = coreStamp(coreLog, "core starting");
    if (coreStarted <= 0 || coreStarting <= 0 || !control.waitFor(SERVICE_RUNNING))
        return fail("the core did not start");
    const double startMs = counterMicroseconds(startRequested, coreStarted) / 1000;
    const double coreStartMs = counterMicroseconds(coreStarting, coreStarted) / 1000;
    report("service_start_to_core_started", startMs, "ms");
    report("core_own_start", coreStartMs, "ms");
    report("runner_share_of_service_start", startMs - coreStartMs, "ms");

    const int road = measureRoad(coreLog);

    SERVICE_STATUS status{};
    const long long stopRequested = counterNow();
    ::ControlService(control.service.get(), SERVICE_CONTROL_STOP, &status);
    const bool stopped = control.waitFor(SERVICE_STOPPED);
    const long long serviceStopped = counterNow();
    if (stopped) {
        // Where the stop goes, step by step through the core's log.
        const long long coreStopCalled = coreStamp(coreLog, "stop requested");
        const long long threadStopped = coreStamp(coreLog, "SystemEventThread stopped");
        const long long threadEnded = coreStamp(coreLog, "event thread ended");
        const long long coreStopped = coreStamp(coreLog, "core stopped");
        const double stopMs = counterMicroseconds(stopRequested, serviceStopped) / 1000;
        const double coreStopMs = counterMicroseconds(coreStopCalled, coreStopped) / 1000;
        report("service_stop_to_stopped", stopMs, "ms");
        report("core_own_stop", coreStopMs, "ms");
        report("runner_share_of_service_stop", stopMs - coreStopMs, "ms");
        report("stop_request_to_core_stop_called", counterMicroseconds(stopRequested, coreStopCalled) / 1000, "ms");
        report("core_stop_to_event_thread_stopped", counterMicroseconds(coreStopCalled, threadStopped) / 1000, "ms");
        report("event_thread_stopped_to_ended", counterMicroseconds(threadStopped, threadEnded) / 1000, "ms");
        report("core_stopped_to_service_stopped", counterMicroseconds(coreStopped, serviceStopped) / 1000, "ms");
    }
    testing::RunRunner(std::wstring(L"//DS//") + kService);
    if (!stopped) return fail("the service did not stop");
    return road;
}

}  // namespace

int main() { return run(); }
