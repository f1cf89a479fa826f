// The user proxy: how long pointing a user's settings at the local proxy and clearing them again
// takes with 1, 10 and 100 connection entries, beside the bare registry writes the same change
// needs (alternating samples, medians); and how often the real agent's guard writes its proxy
// back while active, first with nothing changing, then with another program
// switching the proxy off twice a second, and how long each such change stands before the guard
// has written it over, beside a bare change notification of the same key (the guard's own
// mechanism, with nothing done on it). Uses this prefix user's own Internet Settings.
#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "agent.h"
#include "bench_report.h"
#include "blob_builder.h"
#include "connection_blob.h"
#include "idle_monitor.h"
#include "performance_counter.h"
#include "proxy/user_proxy_guard.h"
#include "registry_fixture.h"
#include "system_proxy.h"
#include "test_core.h"
#include "test_core_endpoint.h"
#include "unique_handle.h"

namespace brisko::bench {
namespace {

using namespace std::chrono_literals;
using testing::Bytes;

constexpr char kProxy[] = "http=127.0.0.1:3128;https=127.0.0.1:3129";
constexpr wchar_t kWideProxy[] = L"http=127.0.0.1:3128;https=127.0.0.1:3129";
constexpr int kSamples = 41;

std::wstring entryName(int i) { return L"Connection " + std::to_wstring(i); }

std::string figureName(const char* what, int entries) {
    char name[96];
    std::snprintf(name, sizeof name, "%s_%d_connections", what, entries);
    return name;
}

double millisecondsOf(const std::function<void()>& work) {
    const Clock::time_point start = Clock::now();
    work();
    return secondsSince(start) * 1000.0;
}

// The writes the change needs at the least: every blob and the three values, into open keys.
void bareWrites(HKEY root, int entries, const Bytes& blob) {
    UniqueKey connections, settings;
    ::RegOpenKeyExW(root, kConnectionsKey, 0, KEY_WRITE, connections.put());
    for (int i = 0; i < entries; ++i)
        ::RegSetValueExW(connections.get(), entryName(i).c_str(), 0, REG_BINARY, blob.data(),
                         static_cast<DWORD>(blob.size()));
    ::RegOpenKeyExW(root, kInternetSettingsKey, 0, KEY_WRITE, settings.put());
    ::RegSetValueExW(settings.get(), L"ProxyServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(kWideProxy),
                     sizeof kWideProxy);
    ::RegSetValueExW(settings.get(), L"ProxyOverride", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"<local>"),
                     sizeof L"<local>");
    const DWORD enable = 1;
    ::RegSetValueExW(settings.get(), L"ProxyEnable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&enable),
                     sizeof enable);
}

void applyAndClear(int entries) {
    testing::TestKey root(L"bench");
    const Bytes direct = testing::makeBlob({.flags = 9, .tail = testing::autoConfigTail("http://wpad/wpad.dat")});
    for (int i = 0; i < entries; ++i) testing::setBinary(root.get(), kConnectionsKey, entryName(i).c_str(), direct);
    const Bytes forced = RewriteConnectionBlob(direct, std::string_view(kProxy)).blob;
    const ProxySettings set{kProxy, kWideProxy};

    std::vector<double> apply, clear, bare, applyRatio, clearRatio;
    for (int sample = 0; sample < kSamples; ++sample) {
        apply.push_back(millisecondsOf([&] { ApplyUserProxy(root.get(), set); }));
        clear.push_back(millisecondsOf([&] { ApplyUserProxy(root.get(), {}); }));
        bare.push_back(millisecondsOf([&] { bareWrites(root.get(), entries, forced); }));
        applyRatio.push_back(apply.back() / bare.back());
        clearRatio.push_back(clear.back() / bare.back());
        ApplyUserProxy(root.get(), {});
    }
    report(figureName("user_proxy_apply", entries), median(apply), "ms");
    report(figureName("user_proxy_clear", entries), median(clear), "ms");
    report(figureName("user_proxy_bare_writes", entries), median(bare), "ms");
    report(figureName("user_proxy_apply_vs_bare", entries), median(applyRatio), "x");
    report(figureName("user_proxy_clear_vs_bare", entries), median(clearRatio), "x");
}

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const Clock::time_point end = Clock::now() + timeout;
    while (!condition()) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

DWORD proxyEnable() {
    DWORD value = 0, size = sizeof value;
    ::RegGetValueW(HKEY_CURRENT_USER, kInternetSettingsKey, L"ProxyEnable", RRF_RT_REG_DWORD, nullptr, &value, &size);
    return value;
}

void switchProxyOff() {
    const DWORD off = 0;
    testing::setRaw(HKEY_CURRENT_USER, kInternetSettingsKey, L"ProxyEnable", REG_DWORD, &off, sizeof off);
}

// Microseconds from a write of the key to its change notification, nobody else watching. The
// value alternates: Wine notifies only when a value really changes.
double bareNotification() {
    std::vector<double> samples;
    UniqueKey settings;
    ::RegOpenKeyExW(HKEY_CURRENT_USER, kInternetSettingsKey, 0, KEY_NOTIFY, settings.put());
    const UniqueHandle changed(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    for (int i = 0; i < kSamples; ++i) {
        ::RegNotifyChangeKeyValue(settings.get(), FALSE, REG_NOTIFY_CHANGE_LAST_SET, changed.get(), TRUE);
        const DWORD value = i % 2;
        const long long start = counterNow();
        testing::setRaw(HKEY_CURRENT_USER, kInternetSettingsKey, L"ProxyEnable", REG_DWORD, &value, sizeof value);
        if (::WaitForSingleObject(changed.get(), 5000) != WAIT_OBJECT_0) continue;
        samples.push_back(counterMicroseconds(start, counterNow()));
    }
    return median(samples);
}

int guardWakeups() {
    const double bare = bareNotification();
    testing::TestCore core(0);
    SilentNotifier notifier;
    UserProxyGuard guard;
    const auto agent = std::make_shared<Agent>(nullptr, notifier, guard, testing::idleMonitor(), performanceCounter(),
                                               testing::testCoreEndpoint(core.port()));
    std::future<int> exitCode = std::async(std::launch::async, [&] { return agent->run(); });

    int status = 0;
    if (!waitFor([&] { return !core.received().empty(); }, 20s)) {
        std::fprintf(stderr, "user_proxy_bench: the agent did not connect to the test core\n");
        status = 1;
    } else {
        core.sendNotification(0, testing::pack({true, int64_t{0}}));
        core.sendNotification(2, testing::pack({"127.0.0.1", int64_t{3128}, "127.0.0.1", int64_t{3129}}));
        if (!waitFor([] { return testing::readString(HKEY_CURRENT_USER, kInternetSettingsKey, L"ProxyServer") == kWideProxy; },
                     10s)) {
            std::fprintf(stderr, "user_proxy_bench: the guard never started watching\n");
            status = 1;
        } else {
            std::this_thread::sleep_for(2s);
            const auto idle = 20s;
            const uint32_t before = guard.rewrites();
            std::this_thread::sleep_for(idle);
            report("agent_guard_idle_watch_wakeups", (guard.rewrites() - before) * (60s / idle), "per_minute");

            const uint32_t beforeChanges = guard.rewrites();
            std::vector<double> standing;
            int changes = 0;
            for (; changes < 20; ++changes) {
                const long long start = counterNow();
                switchProxyOff();
                while (proxyEnable() != 1 && counterMicroseconds(start, counterNow()) < 5e6) ::Sleep(0);
                if (proxyEnable() == 1) standing.push_back(counterMicroseconds(start, counterNow()));
                std::this_thread::sleep_for(500ms);
            }
            std::this_thread::sleep_for(1s);
            report("agent_guard_wakeups_per_outside_change", static_cast<double>(guard.rewrites() - beforeChanges) / changes,
                   "x");
            report("agent_guard_outside_change_standing", median(standing), "us");
            report("bare_settings_change_notification", bare, "us");
            report("agent_guard_outside_change_standing_vs_bare_notification", median(standing) / bare, "x");
        }
    }
    agent->stop();
    if (exitCode.wait_for(20s) != std::future_status::ready) {
        std::fprintf(stderr, "user_proxy_bench: the agent did not stop\n");
        std::_Exit(1);
    }
    return status;
}

}  // namespace
}  // namespace brisko::bench

int main() {
    for (const int entries : {1, 10, 100}) brisko::bench::applyAndClear(entries);
    return brisko::bench::guardWakeups();
}
