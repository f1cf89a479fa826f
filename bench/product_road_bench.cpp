// The product as a service (harbeesrv.exe with the test JVM and the demo core, the fake-desktop
// agent): how long the service takes from its start to the core's "started" and from its stop
// request to "stopped", and, on the road of one application start, from a window opening on the
// agent's desktop to the core's decision and from a refusal to the refused process's end. Each
// refusal is followed by round trips of a call on the service's own RPC endpoint that the
// service refuses: it answers this process's OpenApplicationList at once with "access denied",
// since only its agents may call. That call is the transport, the caller check and the refusal
// raised back to the caller as an RPC exception (under Wine the exception is most of it), so it
// is the baseline of the road's two figures. Times of the core come from its log (local time, to
// the millisecond), which bounds the resolution of the road's figures.
#include <windows.h>

#include <AgentApplications.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "bench_report.h"
#include "desktop_session.h"
#include "executable_path.h"
#include "seh_guard.h"
#include "service_rpc/activity_monitor.h"
#include "text.h"
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

// Milliseconds since local midnight, as the core's log stamps them.
long long nowMs() {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    return ((now.wHour * 60LL + now.wMinute) * 60 + now.wSecond) * 1000 + now.wMilliseconds;
}

std::wstring folder() {
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp) + L"harbee-bench";
}

DWORD runRunner(const std::wstring& arguments) {
    std::wstring commandLine = L"\"" + siblingPath(L"harbeesrv.exe") + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                          &startup, &info))
        return 0xFFFFFFFF;
    const UniqueHandle process(info.hProcess);
    const UniqueHandle thread(info.hThread);
    DWORD code = 0xFFFFFFFF;
    if (::WaitForSingleObject(process.get(), 120000) == WAIT_OBJECT_0) ::GetExitCodeProcess(process.get(), &code);
    return code;
}

// The stamp of the n-th (from 1) line of the core's log that holds the text, in ms since
// midnight; polls until it is there.
long long coreStamp(const std::wstring& log, const std::string& text, int occurrence = 1) {
    for (DWORD waited = 0; waited < kPatienceMs; waited += 5) {
        std::ifstream file(wideToUtf8(log), std::ios::binary);
        int seen = 0;
        for (std::string line; std::getline(file, line);) {
            unsigned h = 0, m = 0, s = 0, ms = 0;
            if (line.find(text) == std::string::npos || std::sscanf(line.c_str(), "[%u:%u:%u.%u]", &h, &m, &s, &ms) != 4)
                continue;
            if (++seen == occurrence) return ((h * 60LL + m) * 60 + s) * 1000 + ms;
        }
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
    Binding() {
        RPC_WSTR text = nullptr;
        wchar_t protocol[] = L"ncalrpc";
        std::wstring endpoint = kServiceEndpoint;
        ::RpcStringBindingComposeW(nullptr, reinterpret_cast<RPC_WSTR>(protocol), nullptr,
                                   reinterpret_cast<RPC_WSTR>(endpoint.data()), nullptr, &text);
        ::RpcBindingFromStringBindingW(text, handle.put());
        ::RpcStringFreeW(&text);
    }
};

int measureRoad(const std::wstring& coreLog) {
    const KillOnCloseJob job;
    DesktopControl desktop;
    if (!desktop.connect()) return fail("the agent's desktop never came up");
    Binding binding;
    if (!binding.handle) return fail("no RPC binding to the service");

    std::vector<double> toDecision, toEnd, refusedCalls, decisionRatios, endRatios;
    for (int round = 1; round <= kRefusals; ++round) {
        Application refused = StartApplication(job, L"notepad.exe");
        if (!refused.process) return fail("notepad.exe did not start");
        ::Sleep(200);
        const long long opened = nowMs();
        if (desktop.send("open " + std::to_string(round) + " pid=" + std::to_string(refused.processId)) != "ok")
            return fail("the desktop refused a window");
        const long long decided = coreStamp(coreLog, "shouldStartApplication(win32:notepad.exe", round);
        if (decided < 0 || ::WaitForSingleObject(refused.process.get(), kPatienceMs) != WAIT_OBJECT_0)
            return fail("the refusal was not carried out");
        const long long ended = nowMs();
        desktop.send("close " + std::to_string(round));
        const double callUs = refusedCall(binding.handle.get());
        if (callUs <= 0) return fail("the service did not refuse the call as expected");
        toDecision.push_back(static_cast<double>(decided - opened));
        toEnd.push_back(static_cast<double>(ended - decided));
        refusedCalls.push_back(callUs);
        decisionRatios.push_back((decided - opened) * 1000.0 / callUs);
        endRatios.push_back((ended - decided) * 1000.0 / callUs);
    }
    report("window_to_decision", median(toDecision), "ms");
    report("refusal_to_process_end", median(toEnd), "ms");
    report("refused_rpc_call", median(refusedCalls), "us/call");
    report("window_to_decision_vs_refused_call", median(decisionRatios), "x");
    report("refusal_to_process_end_vs_refused_call", median(endRatios), "x");
    return 0;
}

int run() {
    const std::wstring logs = folder();
    const std::wstring coreLog = logs + L"\\core.log";
    runRunner(std::wstring(L"//DS//") + kService);
    ::CreateDirectoryW(logs.c_str(), nullptr);
    ::DeleteFileW(coreLog.c_str());
    const std::wstring install =
        std::wstring(L"//IS//") + kService + L" --StartMode=jvm --StopMode=jvm --Jvm=\"" + siblingPath(L"jvm.dll") +
        L"\" --Classpath=\"" + siblingPath(L"democore.dll") +
        L"\" --StartClass=demo.Core --StopClass=demo.Core --StopMethod=stop --StopTimeout=30 \"--StartParams=agent=" +
        siblingPath(L"harbeeagent_fakedesktop.exe") + L";refuse=win32:notepad.exe;announce-logon;log=" + coreLog +
        L"\" \"--LogPath=" + logs + L"\"";
    if (runRunner(install) != 0) return fail("the service could not be installed");

    ServiceControl control;
    if (!control.service) return fail("the installed service cannot be opened");
    const long long startRequested = nowMs();
    // Started the way a person starts it. (Under Wine, a service that this very process starts
    // with StartServiceW launches no agent; one started by another process does.)
    if (runRunner(std::wstring(L"//ES//") + kService) != 0) return fail("the service did not start");
    const long long coreStarted = coreStamp(coreLog, "SystemEventThread started");
    if (coreStarted < 0 || !control.waitFor(SERVICE_RUNNING)) return fail("the core did not start");
    report("service_start_to_core_started", static_cast<double>(coreStarted - startRequested), "ms");

    const int road = measureRoad(coreLog);

    SERVICE_STATUS status{};
    const auto stopRequested = Clock::now();
    ::ControlService(control.service.get(), SERVICE_CONTROL_STOP, &status);
    const bool stopped = control.waitFor(SERVICE_STOPPED);
    if (stopped) report("service_stop_to_stopped", secondsSince(stopRequested) * 1000, "ms");
    runRunner(std::wstring(L"//DS//") + kService);
    if (!stopped) return fail("the service did not stop");
    return road;
}

}  // namespace

int main() { return run(); }
