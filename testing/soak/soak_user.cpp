// The soak of scripts/soak.sh: the product as a service (harbeesrv.exe with the test JVM, the
// demo core and the fake-desktop agent) for a number of minutes (the first argument, default
// 10), while a scripted user opens and closes a refused application (notepad.exe, which the
// service must end) and an allowed one (MyApp.EXE, whose start and stop the core must hear
// exactly once each) over and over, and faults come on a schedule, one every
// kFaultInterval, in turn: the agent killed, the core's listener closed and reopened, the
// service stopped and started, a puppet agent sending garbage and oversized reports. A fault
// is survived when the user's next round goes through.
//
// It ends with a report and the line "lost N": the start/stop pairs that did not reach the
// core exactly once (counted in the core's log) and the refusals that were not carried out.
// Exit code 0 only for "lost 0".
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "desktop_session.h"
#include "executable_path.h"
#include "soak_faults.h"
#include "test_processes.h"
#include "unique_handle.h"

namespace {

using namespace brisko;
using namespace brisko::soak;
using brisko::testing::ProcessFootprint;
using brisko::testing::Application;
using brisko::testing::DesktopControl;
using brisko::testing::KillOnCloseJob;
using brisko::testing::StartApplication;
using Clock = std::chrono::steady_clock;

constexpr wchar_t kService[] = L"HarbeeSoak";
constexpr auto kFaultInterval = std::chrono::seconds(30);
constexpr DWORD kPatienceMs = 60000;

void say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

std::wstring folder() {
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp) + L"harbee-soak";
}

class Soak {
public:
    explicit Soak(std::wstring coreLog) : coreLog_(std::move(coreLog)) {}

    // Installs and starts the service; false when the product does not come up.
    bool start() {
        testing::RunRunner(std::wstring(L"//DS//") + kService);
        const std::wstring logs = folder();
        ::CreateDirectoryW(logs.c_str(), nullptr);
        ::DeleteFileW(coreLog_.c_str());
        const std::wstring install =
            std::wstring(L"//IS//") + kService + L" --StartMode=jvm --StopMode=jvm --Jvm=\"" + siblingPath(L"jvm.dll") +
            L"\" --Classpath=\"" + siblingPath(L"democore.dll") +
            L"\" --StartClass=demo.Core --StopClass=demo.Core --StopMethod=stop --StopTimeout=30 \"--StartParams=agent=" +
            siblingPath(L"harbeeagent_fakedesktop.exe") + L";refuse=win32:notepad.exe;announce-logon;relisten-event=" +
            kRelistenEvent + L";log=" + coreLog_ + L"\" \"--LogPath=" + logs + L"\"";
        if (testing::RunRunner(install) != 0) return false;
        return startService();
    }

    void stop() {
        recordServiceLife();
        testing::RunRunner(std::wstring(L"//SS//") + kService);
        testing::RunRunner(std::wstring(L"//DS//") + kService);
    }

    // One round of the user: the refused application, then the allowed one. Empty when it went
    // through; otherwise the step that did not.
    std::string round() {
        ++rounds_;
        ++refusalsTried_;
        Application refused = StartApplication(job_, L"notepad.exe");
        if (!refused.process) return "the refused application did not start";
        ::Sleep(100);
        const std::string refusedWindow = std::to_string(nextWindow_++);
        const std::string opened = desktop_.send("open " + refusedWindow + " pid=" + std::to_string(refused.processId));
        const bool ended = opened == "ok" && testing::Ended(refused.process, kPatienceMs);
        if (ended) ++refusalsCarried_;
        desktop_.send("close " + refusedWindow);
        if (!ended) {
            ::TerminateProcess(refused.process.get(), 1);
            return opened == "ok" ? "the refusal was not carried out" : "the refused window: " + opened;
        }

        ++allowedTried_;
        Application allowed = StartApplication(job_, L"MyApp.EXE");
        if (!allowed.process) return "the allowed application did not start";
        ::Sleep(100);
        const int starts = count("didStartApplication(win32:myapp.exe");
        const int stops = count("didStopApplication(win32:myapp.exe");
        const std::string window = std::to_string(nextWindow_++);
        std::string failure;
        if (const std::string answer = desktop_.send("open " + window + " pid=" + std::to_string(allowed.processId));
            answer != "ok")
            failure = "the allowed window: " + answer;
        else if (!waitForCount("didStartApplication(win32:myapp.exe", starts + 1))
            failure = "the core did not hear the start";
        if (const std::string answer = desktop_.send("close " + window); answer != "ok" && failure.empty())
            failure = "the allowed window's close: " + answer;
        else if (failure.empty() && !waitForCount("didStopApplication(win32:myapp.exe", stops + 1))
            failure = "the core did not hear the stop";
        ::TerminateProcess(allowed.process.get(), 0);
        ::WaitForSingleObject(allowed.process.get(), kPatienceMs);
        return failure;
    }

    // Injects the next fault in turn and waits until the product is back (an agent connected
    // and its desktop reachable); false when the fault could not be injected.
    bool injectFault(std::string& what) {
        const int kind = faults_++ % 4;
        const int connected = count("agent connected");
        bool injected = false;
        switch (kind) {
        case 0:
            what = "agent killed";
            injected = killAgent(desktop_);
            break;
        case 1:
            what = "core listener closed and reopened";
            injected = closeCoreListener();
            break;
        case 2:
            what = "service stopped and started";
            recordServiceLife();
            injected = testing::RunRunner(std::wstring(L"//SS//") + kService) == 0 && startService(false);
            break;
        default: {
            std::string answers;
            injected = sendGarbage(answers);
            what = "puppet garbage and oversized reports (" + answers + ")";
            return injected;
        }
        }
        return injected && waitForCount("agent connected", connected + 1) && desktop_.connect();
    }

    int faultsInjected() const { return faults_; }

    // Each service process's private bytes once its agent connected and before it stopped.
    const std::vector<std::string>& serviceLives() const { return serviceLives_; }

    // The lost start/stop pairs and refusals, from the core's log and the rounds.
    int lost(std::vector<std::string>& report) const {
        const int starts = count("didStartApplication(win32:myapp.exe");
        const int stops = count("didStopApplication(win32:myapp.exe");
        report.push_back("applications started: " + std::to_string(allowedTried_ + refusalsTried_) + " (" +
                         std::to_string(allowedTried_) + " allowed, " + std::to_string(refusalsTried_) + " refused)");
        report.push_back("refusals carried out: " + std::to_string(refusalsCarried_) + " of " +
                         std::to_string(refusalsTried_));
        report.push_back("start/stop pairs reported to the core: " + std::to_string(std::min(starts, stops)) +
                         " (starts " + std::to_string(starts) + ", stops " + std::to_string(stops) + ", expected " +
                         std::to_string(allowedTried_) + " each)");
        return std::abs(starts - allowedTried_) + std::abs(stops - allowedTried_) + (refusalsTried_ - refusalsCarried_);
    }

private:
    bool startService(bool first = true) {
        const int started = count("SystemEventThread started");
        const int connected = count("agent connected");
        if (testing::RunRunner(std::wstring(L"//ES//") + kService) != 0) return false;
        if (!waitForCount("SystemEventThread started", started + 1) ||
            !waitForCount("agent connected", connected + 1))
            return false;
        servicePrivateAtStart_ = servicePrivateBytes();
        roundsAtServiceStart_ = rounds_;
        return !first || desktop_.connect();
    }

    static double servicePrivateBytes() {
        const std::vector<DWORD> services = testing::processesNamed(L"harbeesrv.exe");
        const std::optional<ProcessFootprint> footprint =
            services.empty() ? std::nullopt : testing::processFootprint(services.front());
        return footprint ? footprint->privateBytes : 0;
    }

    void recordServiceLife() {
        const double now = servicePrivateBytes();
        const int rounds = rounds_ - roundsAtServiceStart_;
        std::string line = "service process " + std::to_string(serviceLives_.size() + 1) + ": " +
                           std::to_string(static_cast<long long>(servicePrivateAtStart_)) +
                           " private bytes once its agent connected, " + std::to_string(static_cast<long long>(now)) +
                           " after " + std::to_string(rounds) + " rounds";
        if (rounds > 0)
            line += " (" + std::to_string(static_cast<long long>((now - servicePrivateAtStart_) / rounds)) +
                    " bytes a round)";
        serviceLives_.push_back(line);
    }

    int count(const std::string& text) const {
        const std::vector<std::string> lines = testing::CoreLogLines(coreLog_);
        return static_cast<int>(
            std::count_if(lines.begin(), lines.end(), [&](const std::string& line) { return line.find(text) == 0; }));
    }

    bool waitForCount(const std::string& text, int wanted) const {
        for (DWORD waited = 0; waited < kPatienceMs; waited += 50) {
            if (count(text) >= wanted) return true;
            ::Sleep(50);
        }
        return false;
    }

    std::wstring coreLog_;
    KillOnCloseJob job_;
    DesktopControl desktop_;
    int nextWindow_ = 1;
    int refusalsTried_ = 0, refusalsCarried_ = 0, allowedTried_ = 0;
    int faults_ = 0;
    int rounds_ = 0, roundsAtServiceStart_ = 0;
    double servicePrivateAtStart_ = 0;
    std::vector<std::string> serviceLives_;
};

std::string footprintLine(const char* moment) {
    std::string line = std::string("footprint at ") + moment + ":";
    for (const auto& [program, role] : {std::pair{L"harbeesrv.exe", " service "},
                                        std::pair{L"harbeeagent_fakedesktop.exe", " agent "}}) {
        const std::vector<DWORD> processes = testing::processesNamed(program);
        const std::optional<ProcessFootprint> footprint =
            processes.empty() ? std::nullopt : testing::processFootprint(processes.front());
        line += role;
        if (footprint)
            line += std::to_string(static_cast<long long>(footprint->privateBytes)) + " private bytes, " +
                    std::to_string(static_cast<long long>(footprint->handles)) + " handles;";
        else
            line += "not readable;";
    }
    return line;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const double minutes = argc > 1 ? std::wcstod(argv[1], nullptr) : 10;
    if (minutes <= 0) {
        std::fprintf(stderr, "soak: the minutes must be a positive number\n");
        return 2;
    }
    Soak soak(folder() + L"\\core.log");
    if (!soak.start()) {
        std::fprintf(stderr, "soak: the product did not come up\n");
        soak.stop();
        return 1;
    }
    char length[32];
    std::snprintf(length, sizeof length, "%g minutes", minutes);
    say(std::string("soak: running for ") + length);
    std::vector<std::string> footprints{footprintLine("start")};
    const auto begin = Clock::now();
    const auto end = begin + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(minutes * 60));
    auto nextFault = begin + kFaultInterval;
    bool middleTaken = false;
    int rounds = 0, failedRounds = 0, survived = 0;
    bool faultPending = false;
    while (Clock::now() < end) {
        const std::string failure = soak.round();
        const bool ok = failure.empty();
        ++rounds;
        if (!ok) {
            ++failedRounds;
            say("soak: round " + std::to_string(rounds) + " failed: " + failure);
        }
        if (faultPending && ok) ++survived;
        faultPending = false;
        if (!middleTaken && Clock::now() >= begin + (end - begin) / 2) {
            footprints.push_back(footprintLine("middle"));
            middleTaken = true;
        }
        if (Clock::now() >= nextFault) {
            std::string what;
            const bool injected = soak.injectFault(what);
            say("soak: fault " + std::to_string(soak.faultsInjected()) + ": " + what +
                (injected ? "" : " (not carried out or not recovered)"));
            faultPending = injected;
            nextFault = Clock::now() + kFaultInterval;
        }
    }
    footprints.push_back(footprintLine("end"));
    soak.stop();

    std::vector<std::string> report;
    const int lost = soak.lost(report);
    say("");
    say(std::string("soak report, ") + length + ", " + std::to_string(rounds) + " rounds (" +
        std::to_string(failedRounds) + " failed)");
    for (const std::string& line : report) say(line);
    say("faults injected: " + std::to_string(soak.faultsInjected()) + ", survived: " + std::to_string(survived));
    for (const std::string& line : footprints) say(line);
    for (const std::string& line : soak.serviceLives()) say(line);
    say("lost " + std::to_string(lost));
    return lost == 0 && survived == soak.faultsInjected() ? 0 : 1;
}
