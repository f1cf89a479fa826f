// A stand-in agent of many_agents_bench, launched by its agent manager in one session: says it is
// ready, waits for the benchmark's go, then reports 100 applications (each a new one, so each is
// decided), timing every ApplicationStarted with the performance counter, and mails the times.
// It then reports the stops and waits to be ended with the manager: an agent that exits would be
// launched again.
#include <windows.h>

#include <AgentApplications.h>

#include <string>
#include <vector>

#include "many_agents_channel.h"
#include "performance_counter.h"
#include "rpc_bench_channel.h"
#include "seh_guard.h"
#include "service_rpc/activity_monitor.h"
#include "unique_handle.h"

namespace {

using namespace brisko;
using namespace brisko::bench;

constexpr int kApplications = 100;

DWORD report(handle_t binding, const Mail& mail) {
    const LONG self = static_cast<LONG>(::GetCurrentProcessId());
    RunningApplication none{};
    ApplicationListHandle list = nullptr;
    if (const DWORD status = RunGuarded([&] { list = OpenApplicationList(binding, 0, &none); }); status != 0)
        return status;
    std::wstring name = L"Puppet";
    std::vector<std::wstring> ids;
    for (int i = 0; i < kApplications; ++i)
        ids.push_back(L"win32:puppet" + std::to_wstring(self) + L"-" + std::to_wstring(i) + L".exe");

    std::string times("times ");
    times += std::to_string(self);
    const long long first = counterNow();
    for (std::wstring& id : ids) {
        const RunningApplication record{self, id.data(), name.data()};
        const long long start = counterNow();
        if (const DWORD status = RunGuarded([&] { ApplicationStarted(list, record); }); status != 0) return status;
        times += ' ';
        times += std::to_string(static_cast<long long>(counterMicroseconds(start, counterNow())));
    }
    const long long last = counterNow();
    mail.send(times);
    std::string span("span ");
    span += std::to_string(first);
    span += ' ';
    span += std::to_string(last);
    mail.send(span);
    for (std::wstring& id : ids) {
        const RunningApplication record{self, id.data(), name.data()};
        if (const DWORD status = RunGuarded([&] { ApplicationStopped(list, record); }); status != 0) return status;
    }
    RunGuarded([&] { CloseApplicationList(&list); });
    return 0;
}

}  // namespace

int wmain() {
    const DWORD bench = parentProcessId();
    const Mail mail(bench);
    if (!mail) return 2;
    const UniqueHandle go(::OpenEventW(SYNCHRONIZE, FALSE, manyAgentsGoEvent(bench).c_str()));
    UniqueRpcBinding binding;
    const RPC_STATUS bound = bindServiceEndpoint(binding);
    DWORD status = bound;
    if (!go) status = ::GetLastError();
    if (status == 0) {
        mail.send("ready");
        ::WaitForSingleObject(go.get(), INFINITE);
        status = report(binding.get(), mail);
    }
    std::string last(status == 0 ? "end" : "error: status ");
    if (status != 0) last += std::to_string(status);
    mail.send(last);
    for (;;) ::Sleep(INFINITE);
}
