#include "desktop_session.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "executable_path.h"
#include "test_processes.h"
#include "text.h"

namespace brisko::testing {

namespace {

constexpr wchar_t kDesktopPipe[] = L"\\\\.\\pipe\\harbeeagent_fakedesktop";

}  // namespace

KillOnCloseJob::KillOnCloseJob() : job_(::CreateJobObjectW(nullptr, nullptr)) {
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    ::SetInformationJobObject(job_.get(), JobObjectExtendedLimitInformation, &limits, sizeof(limits));
}

bool KillOnCloseJob::add(HANDLE process) const { return ::AssignProcessToJobObject(job_.get(), process) != FALSE; }

Application StartApplication(const KillOnCloseJob& job, const std::wstring& fileName) {
    return StartProgram(job, siblingPath(fileName));
}

Application StartProgram(const KillOnCloseJob& job, const std::wstring& path, SECURITY_ATTRIBUTES* attributes) {
    std::wstring commandLine = L"\"" + path + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(path.c_str(), commandLine.data(), attributes, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                          nullptr, &startup, &info))
        return {};
    const UniqueHandle thread(info.hThread);
    Application application{UniqueHandle(info.hProcess), info.dwProcessId};
    if (!job.add(application.process.get())) {
        ::TerminateProcess(application.process.get(), 1);
        return {};
    }
    ::ResumeThread(thread.get());
    return application;
}

bool Ended(const UniqueHandle& process, DWORD timeoutMs) {
    return ::WaitForSingleObject(process.get(), timeoutMs) == WAIT_OBJECT_0;
}

DesktopScript::DesktopScript(const std::string& lines) : path_(siblingPath(L"harbeeagent_fakedesktop.desktop")) {
    std::ofstream(wideToUtf8(path_), std::ios::binary) << lines;
}

DesktopScript::~DesktopScript() { ::DeleteFileW(path_.c_str()); }

bool DesktopControl::connect() {
    return pollUntil(
        [&] {
            pipe_.reset(
                ::CreateFileW(kDesktopPipe, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
            return static_cast<bool>(pipe_);
        },
        kPatienceMs);
}

std::string DesktopControl::send(const std::string& command) {
    const std::string line = command + "\n";
    DWORD count = 0;
    if (!::WriteFile(pipe_.get(), line.data(), static_cast<DWORD>(line.size()), &count, nullptr))
        return "write failed";
    std::string answer;
    char c = 0;
    while (::ReadFile(pipe_.get(), &c, 1, &count, nullptr) && count == 1 && c != '\n') answer.push_back(c);
    return answer;
}

DWORD RunRunner(const std::wstring& arguments) {
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

std::string ReadText(const std::wstring& path) {
    std::ifstream file(wideToUtf8(path), std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::vector<StampedLine> StampedCoreLogLines(const std::wstring& path) {
    std::vector<StampedLine> lines;
    std::istringstream text(ReadText(path));
    for (std::string line; std::getline(text, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t stamp = line.find("] ");
        if (stamp == std::string::npos) {
            lines.push_back({0, line});
            continue;
        }
        const size_t counter = line.rfind(" @", stamp);
        lines.push_back({counter == std::string::npos ? 0 : std::atoll(line.c_str() + counter + 2),
                         line.substr(stamp + 2)});
    }
    return lines;
}

std::vector<std::string> CoreLogLines(const std::wstring& path) {
    std::vector<std::string> lines;
    for (StampedLine& line : StampedCoreLogLines(path)) lines.push_back(std::move(line.text));
    return lines;
}

bool InOrder(const std::vector<std::string>& lines, const std::vector<std::string>& expected) {
    auto at = lines.begin();
    for (const std::string& line : expected) {
        at = std::find(at, lines.end(), line);
        if (at == lines.end()) return false;
        ++at;
    }
    return true;
}

bool WaitForCoreLine(const std::wstring& coreLog, const std::string& line) {
    return pollUntil(
        [&] {
            const std::vector<std::string> lines = CoreLogLines(coreLog);
            return std::find(lines.begin(), lines.end(), line) != lines.end();
        },
        kPatienceMs);
}

std::string FollowRefusedAndAllowed(DesktopControl& desktop, const Application& refused, const Application& allowed,
                                    const std::wstring& coreLog, const std::string& user) {
    if (desktop.send("open 1 pid=" + std::to_string(refused.processId)) != "ok") return "the desktop refused window 1";
    if (!WaitForCoreLine(coreLog, "shouldStartApplication(win32:notepad.exe,Notepad," + user + ") -> refused"))
        return "the core did not refuse notepad.exe";
    if (!Ended(refused.process)) return "the refused application still runs";
    if (desktop.send("open 2 pid=" + std::to_string(allowed.processId)) != "ok") return "the desktop refused window 2";
    if (!WaitForCoreLine(coreLog, "didStartApplication(win32:myapp.exe,MyApp.EXE," + user + ")"))
        return "the core did not see MyApp.EXE start";
    if (desktop.send("close 2") != "ok") return "the desktop did not close window 2";
    if (!WaitForCoreLine(coreLog, "didStopApplication(win32:myapp.exe," + user + ")"))
        return "the core did not see MyApp.EXE stop";
    return {};
}

}  // namespace brisko::testing
