#include "service_rpc/activity_monitor.h"

#include <AgentApplications.h>

#include <utility>

#include "rpc_guard.h"
#include "service_rpc/binding_security.h"

namespace brisko {
namespace {

// The stubs copy the strings; an empty one goes out as "", never as a null pointer.
RunningApplication toRecord(DWORD processId, const std::wstring& applicationId, const std::wstring& applicationName) {
    return {static_cast<LONG>(processId), const_cast<wchar_t*>(applicationId.c_str()),
            const_cast<wchar_t*>(applicationName.c_str())};
}

}  // namespace

ActivityMonitor::ActivityMonitor(UIA::MonitorFactory monitorFactory, std::function<void()> serviceLost)
    : serviceLost_(std::move(serviceLost)), monitorFactory_(std::move(monitorFactory)) {}

ActivityMonitor::~ActivityMonitor() = default;

void ActivityMonitor::start() {
    if (!bind()) serviceLost_();
    monitor_ = monitorFactory_(*this);
    if (monitor_) monitor_->start();
}

bool ActivityMonitor::bind() {
    if (bindServiceEndpoint(binding_) != RPC_S_OK) return false;
    if (::RpcEpResolveBinding(binding_.get(), AgentApplications_v1_0_c_ifspec) != RPC_S_OK ||
        authenticateBinding(binding_.get()) == BindingAuthentication::Failed) {
        binding_.reset();
        return false;
    }
    return true;
}

void ActivityMonitor::stop() {
    if (monitor_) {
        // Waits for the reports already posted to the monitor's worker: none follows the close.
        monitor_->stop();
        monitor_.reset();
    }
    const std::lock_guard lock(mutex_);
    if (!list_) return;
    callService([this] { CloseApplicationList(&list_); });
    dropList();
}

bool ActivityMonitor::listOpen() const {
    const std::lock_guard lock(mutex_);
    return list_ != nullptr;
}

void ActivityMonitor::reportInitial(const std::vector<UIA::RunningApplicationInfo>& list) {
    const std::lock_guard lock(mutex_);
    dropList();
    std::vector<RunningApplication> records;
    records.reserve(list.size());
    for (const UIA::RunningApplicationInfo& application : list)
        records.push_back(toRecord(application.processId, application.applicationId, application.applicationName));
    // The array is a reference: an empty list still passes a valid address.
    RunningApplication none{};
    RunningApplication* array = records.empty() ? &none : records.data();
    const auto count = static_cast<LONG>(records.size());
    callService([&] { list_ = OpenApplicationList(binding_.get(), count, array); });
}

void ActivityMonitor::reportStarted(DWORD processId, const std::wstring& applicationId,
                                    const std::wstring& applicationName) {
    const std::lock_guard lock(mutex_);
    const RunningApplication record = toRecord(processId, applicationId, applicationName);
    callService([&] { ApplicationStarted(list_, record); });
}

void ActivityMonitor::reportStopped(DWORD processId, const std::wstring& applicationId,
                                    const std::wstring& applicationName) {
    const std::lock_guard lock(mutex_);
    const RunningApplication record = toRecord(processId, applicationId, applicationName);
    callService([&] { ApplicationStopped(list_, record); });
}

// Runs one procedure with the mutex held. An RPC exception (service gone, caller refused, broken
// or closed handle) drops the list here and reports the service lost; nothing is retried. Exceptions that
// the RPC filter leaves to the system (access violations and the like) are not taken at all.
template <typename Call>
void ActivityMonitor::callService(Call&& call) {
    if (RunRpcCall(std::forward<Call>(call)) == 0) return;
    dropList();
    serviceLost_();
}

// Forgets the handle on this side only; the service is not told.
void ActivityMonitor::dropList() {
    if (list_) ::RpcSmDestroyClientContext(&list_);
    list_ = nullptr;
}

}  // namespace brisko
