#pragma once
// Real processes for tests: helper programs built beside the test executable, ended when their
// owner goes, and the process list as tests need to see it.
#include <windows.h>

#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "executable_path.h"
#include "unique_handle.h"

namespace brisko::testing {

class ChildProcess {
public:
    // commandLine is used as it is; the program is looked up by CreateProcessW.
    explicit ChildProcess(std::wstring commandLine);
    static ChildProcess sibling(std::wstring_view name, std::wstring_view arguments = {});

    ChildProcess(ChildProcess&&) = default;
    ChildProcess& operator=(ChildProcess&&) = default;
    ~ChildProcess() { end(); }

    explicit operator bool() const { return static_cast<bool>(process_); }
    DWORD id() const { return id_; }

    // The exit code once the process has ended by itself (or was ended by the code under test)
    // within timeout milliseconds.
    std::optional<DWORD> waitForExit(DWORD timeoutMs = 30000) const;

    // Ends the process and waits until it is gone.
    void end();

private:
    UniqueHandle process_;
    DWORD id_ = 0;
};

// Ids of the running processes of that executable name started by this process.
std::vector<DWORD> childProcesses(std::wstring_view exeName);
// Ends every running process of those names that this process started, so that a failed test
// leaves nothing behind.
void endChildProcesses(std::initializer_list<std::wstring_view> exeNames);

bool processRunning(DWORD processId);

// The first process whose parent is parentId and whose image is named imageName, polled for
// up to timeout milliseconds; 0 when none appears.
DWORD waitForChild(DWORD parentId, std::wstring_view imageName, DWORD timeoutMs = 30000);

// Ends a process found by id, for processes the tests did not start themselves.
void endProcess(DWORD processId);

// Ids of the running processes of that executable name, whoever started them.
std::vector<DWORD> processesNamed(std::wstring_view exeName);

// What a process holds: its private bytes, its working set and its handle count, as the system's
// process list gives them (its commit charge; Wine counts the private memory the process has
// touched). Read without opening the process, so a process its user may not query (the agent)
// is measured as any other.
struct ProcessFootprint {
    double privateBytes = 0;
    double workingSet = 0;
    double handles = 0;
};
std::optional<ProcessFootprint> processFootprint(DWORD processId);

// Polls the condition every 20 ms; false when it still fails after the time-out.
bool pollUntil(const std::function<bool()>& condition, DWORD timeoutMs = 20000);

}  // namespace brisko::testing
