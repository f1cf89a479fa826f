#pragma once
// Pieces of an end-to-end run with the fake-desktop agent under Wine: a job that ends
// everything the test starts, helper programs as applications, the agent's desktop script, the
// control pipe of its fake desktop, and the demo core's log.
#include <windows.h>

#include <chrono>
#include <string>
#include <vector>

#include "unique_handle.h"

namespace brisko::testing {

constexpr wchar_t kFakeDesktopAgent[] = L"harbeeagent_fakedesktop.exe";
// Wine starts processes and RPC servers slowly; every wait polls up to this long.
constexpr auto kPatience = std::chrono::seconds(60);
constexpr DWORD kPatienceMs = 60000;

// Everything this test starts ends with it, even when an assertion leaves early.
class KillOnCloseJob {
public:
    KillOnCloseJob();
    bool add(HANDLE process) const;

private:
    UniqueHandle job_;
};

// An "application": a helper program beside the test that waits to be ended.
struct Application {
    UniqueHandle process;
    DWORD processId = 0;
};

Application StartApplication(const KillOnCloseJob& job, const std::wstring& fileName);
// The program at that full path, its process secured by `attributes` when given.
Application StartProgram(const KillOnCloseJob& job, const std::wstring& path,
                         SECURITY_ATTRIBUTES* attributes = nullptr);

bool Ended(const UniqueHandle& process, DWORD timeoutMs = kPatienceMs);

// The desktop script the agent reads at its first look; removed again with the test.
class DesktopScript {
public:
    explicit DesktopScript(const std::string& lines);
    ~DesktopScript();

private:
    std::wstring path_;
};

// The test's end of the fake desktop's control pipe: one command line, one answer line.
class DesktopControl {
public:
    bool connect();
    std::string send(const std::string& command);

private:
    UniqueFile pipe_;
};

// Runs harbeesrv.exe beside this program with those arguments and answers its exit code
// (0xFFFFFFFF when it did not start or did not end within two minutes).
DWORD RunRunner(const std::wstring& arguments);

// The whole text of a file, empty when it cannot be read.
std::string ReadText(const std::wstring& path);

// The demo core's log lines without their time stamps.
std::vector<std::string> CoreLogLines(const std::wstring& path);
// The same with the performance counter each line was written at (0 where it has none).
struct StampedLine {
    long long counter = 0;
    std::string text;
};
std::vector<StampedLine> StampedCoreLogLines(const std::wstring& path);

// Whether `expected` occurs in `lines` in this order (other lines may come between).
bool InOrder(const std::vector<std::string>& lines, const std::vector<std::string>& expected);

// Waits until the demo core's log holds that line.
bool WaitForCoreLine(const std::wstring& coreLog, const std::string& line);

// The road of a refused and an allowed application on the agent's desktop, followed in the demo
// core's log: the refused one's window opens and its process is ended; the allowed one's window
// opens, the core sees it start, the window closes and the core sees it stop. Empty when the
// road went so; otherwise the step that did not happen.
std::string FollowRefusedAndAllowed(DesktopControl& desktop, const Application& refused, const Application& allowed,
                                    const std::wstring& coreLog, const std::string& user);

}  // namespace brisko::testing
