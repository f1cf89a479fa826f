// The agent's window monitor (its real work queue, window and process tables) over the fake
// desktop in this process, under storms of window events. The windows belong to made-up process
// ids, which nothing can open: they are counted without names or exit watch, so the figures are
// the monitor's own work, not the identification of processes.
// - 10,000 windows, each of a process of its own, opened and closed in batches of 100 as fast as
//   the desktop raises the events: events handled per second, the greatest depth of the work
//   queue (events delivered to the monitor and not yet handled), and the reports made, each of
//   which is one RPC call of the agent to the service. A batch's windows are closed once their
//   openings are delivered, as a window that closes before its opening reaches the monitor is
//   never seen (UI Automation reads the window's properties when it delivers the event).
// - The cost of one window event (from its raising to the monitor's report) with 100, 1,000 and
//   10,000 windows alive, which must not grow with the number of windows.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "bench_report.h"
#include "com_ptr.h"
#include "fake_desktop.h"
#include "performance_counter.h"
#include "uia/com_class.h"
#include "uia/uia_monitor.h"

namespace {

using namespace brisko;
using namespace brisko::bench;
using fakeuia::FakeDesktop;
using fakeuia::FakeWindow;

constexpr DWORD kAliveProcess = 900008, kMeasuredProcess = 900012, kFirstStormProcess = 1000000;
constexpr int kStormWindows = 10000;
constexpr int kStormBatch = 100;
constexpr int kCostRounds = 300;
constexpr auto kPatience = std::chrono::seconds(120);

// Counts the reports; each one is what the activity monitor turns into an RPC call.
class CountingListener final : public UIA::ActivityMonitor {
public:
    void reportInitial(const std::vector<UIA::RunningApplicationInfo>&) override { add(); }
    void reportStarted(DWORD, const std::wstring&, const std::wstring&) override { add(); }
    void reportStopped(DWORD, const std::wstring&, const std::wstring&) override { add(); }

    long long reports() const {
        const std::lock_guard lock(mutex_);
        return reports_;
    }
    bool waitFor(long long count) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, kPatience, [&] { return reports_ >= count; });
    }

private:
    void add() {
        const std::lock_guard lock(mutex_);
        ++reports_;
        changed_.notify_all();
    }

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    long long reports_ = 0;
};

// Registered after the monitor, so the desktop's event thread calls it right after the monitor's
// handler has posted the event to the work queue: the events delivered so far, against the
// reports made, is the queue's depth. Every storm event makes exactly one report.
class DepthProbe final : public ComClass<IUIAutomationEventHandler> {
public:
    explicit DepthProbe(const CountingListener& listener) : listener_(listener) {}
    HRESULT STDMETHODCALLTYPE HandleAutomationEvent(IUIAutomationElement*, EVENTID) override {
        if (counting_) {
            const long long depth = ++delivered_ - (listener_.reports() - reportsBefore_);
            if (depth > greatest_) greatest_ = depth;
        }
        return S_OK;
    }
    void count(long long reportsBefore) {
        reportsBefore_ = reportsBefore;
        counting_ = true;
    }
    long long greatest() const { return greatest_; }

private:
    const CountingListener& listener_;
    std::atomic<bool> counting_ = false;
    long long delivered_ = 0, reportsBefore_ = 0, greatest_ = 0;
};

int fail(const std::string& why) {
    std::fprintf(stderr, "window_storm_bench: %s\n", why.c_str());
    return 1;
}

int storm(FakeDesktop& desktop, CountingListener& listener, DepthProbe& probe) {
    const long long before = listener.reports();
    probe.count(before);
    const long long start = counterNow();
    for (int first = 1; first <= kStormWindows; first += kStormBatch) {
        for (int id = first; id < first + kStormBatch; ++id)
            desktop.openWindow(FakeWindow{id, kFirstStormProcess + 4 * static_cast<DWORD>(id)});
        if (!desktop.waitUntilDelivered(120000)) return fail("the desktop did not deliver its events");
        for (int id = first; id < first + kStormBatch; ++id) desktop.closeWindow(id);
    }
    if (!listener.waitFor(before + 2 * kStormWindows)) return fail("the storm's reports did not all come");
    const double seconds = counterMicroseconds(start, counterNow()) / 1e6;
    report("window_storm_events_per_second", 2 * kStormWindows / seconds, "per_second");
    report("window_storm_work_queue_greatest_depth", static_cast<double>(probe.greatest()), "events");
    report("window_storm_rpc_calls", static_cast<double>(listener.reports() - before), "calls");
    return 0;
}

// A monitor over a desktop of its own.
struct Monitored {
    std::shared_ptr<FakeDesktop> desktop = FakeDesktop::create();
    CountingListener listener;
    std::unique_ptr<UIA::MonitorControl> monitor =
        UIA::makeMonitorControl(listener, [desktop = desktop] { return desktop->automation(); });
    int nextId = 1;

    bool start() {
        monitor->start();
        return listener.waitFor(1);
    }
    // Windows of one process that stay open; that process makes one start report.
    bool keepAlive(int windows) {
        const long long settled = listener.reports() + 1;
        for (int i = 0; i < windows; ++i) desktop->openWindow(FakeWindow{nextId++, kAliveProcess});
        return listener.waitFor(settled) && desktop->waitUntilDelivered(120000);
    }
    // Microseconds of one window of another process opening (a start) and closing (a stop), each
    // from the desktop's event to the monitor's report; false when a report does not come.
    bool openAndClose(double& opening, double& closing) {
        const long long reports = listener.reports();
        const long long opened = counterNow();
        desktop->openWindow(FakeWindow{nextId, kMeasuredProcess});
        if (!listener.waitFor(reports + 1)) return false;
        const long long started = counterNow();
        desktop->closeWindow(nextId++);
        if (!listener.waitFor(reports + 2)) return false;
        opening = counterMicroseconds(opened, started);
        closing = counterMicroseconds(started, counterNow());
        return true;
    }
};

// One event's cost with 100, 1,000 and 10,000 windows alive, on three monitors side by side
// whose rounds alternate, so that every table size sees the same load.
int eventCosts() {
    constexpr int kAlive[] = {100, 1000, 10000};
    Monitored monitors[3];
    for (int i = 0; i < 3; ++i)
        if (!monitors[i].start() || !monitors[i].keepAlive(kAlive[i]))
            return fail("a monitor did not take its windows");
    std::vector<double> samples[3], ratios;
    // Round 0 only waits until each worker has handled the alive windows' openings.
    for (int round = 0; round <= kCostRounds; ++round) {
        double pair[3] = {};
        for (int i = 0; i < 3; ++i) {
            double opening = 0, closing = 0;
            if (!monitors[i].openAndClose(opening, closing)) return fail("the monitor did not report a window");
            samples[i].push_back(opening);
            samples[i].push_back(closing);
            pair[i] = opening + closing;
        }
        if (round == 0) {
            for (std::vector<double>& kept : samples) kept.clear();
            continue;
        }
        ratios.push_back(pair[2] / pair[0]);
    }
    for (int i = 0; i < 3; ++i)
        report("window_event_cost_" + std::to_string(kAlive[i]) + "_alive", median(samples[i]), "us");
    report("window_event_cost_10000_vs_100_alive", median(ratios), "x");
    for (Monitored& monitored : monitors) monitored.monitor->stop();
    return 0;
}

}  // namespace

int main() {
    Monitored stormed;
    if (!stormed.start()) return fail("no initial list");
    const auto probe = ComPtr<DepthProbe>::attach(new DepthProbe(stormed.listener));
    stormed.desktop->addAutomationHandler(UIA::kWindowOpenedEvent, {}, probe.get());
    stormed.desktop->addAutomationHandler(UIA::kWindowClosedEvent, {}, probe.get());
    if (const int status = storm(*stormed.desktop, stormed.listener, *probe); status != 0) return status;
    stormed.monitor->stop();
    return eventCosts();
}
