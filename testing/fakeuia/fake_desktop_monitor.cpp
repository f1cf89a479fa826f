// The window monitor of the fake-desktop test agent (harbeeagent_fakedesktop.exe), in place of
// the system's: this file defines createMonitor, so the shipped one is never linked in, and
// only this test program has any way to change what the monitor sees.
//
// Control channel (the agent is started by the service without arguments and with the user's
// own environment, so neither can carry it):
// - At the first monitor start, the file "harbeeagent_fakedesktop.desktop" beside the
//   executable, if present, is read: one command per line (desktop_script.h), usually "add"
//   lines for the windows that exist before the agent looks.
// - The named pipe "\\.\pipe\harbeeagent_fakedesktop" (byte mode, any number of clients one
//   after another) takes the same commands, one per line. Each line is answered with "ok\n"
//   once the events it raised have been delivered to the monitor, or "error: TEXT\n". The line
//   "crash" ends the agent at once, unanswered, as a kill would: where the system keeps the
//   agent's protection from its user, a test has no other way to make it end abruptly.
#include <windows.h>

#include <memory>
#include <string>
#include <thread>

#include "desktop_script.h"
#include "executable_path.h"
#include "fake_desktop.h"
#include "uia/uia_monitor.h"
#include "unique_handle.h"

namespace {

using brisko::fakeuia::FakeDesktop;

constexpr wchar_t kPipeName[] = L"\\\\.\\pipe\\harbeeagent_fakedesktop";
constexpr DWORD kDeliveryLimit = 10000;

std::wstring scriptPath() {
    const std::wstring path = brisko::executablePath();
    const size_t dot = path.find_last_of(L'.');
    return path.substr(0, dot == std::wstring::npos ? path.size() : dot) + L".desktop";
}

void runScript(FakeDesktop& desktop) {
    brisko::UniqueFile file(::CreateFileW(scriptPath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    std::string text;
    char buffer[4096];
    DWORD read = 0;
    while (::ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) text.append(buffer, read);
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = std::min(text.find('\n', start), text.size());
        brisko::fakeuia::applyCommand(desktop, std::string_view(text).substr(start, end - start));
        start = end + 1;
    }
}

bool writeAll(HANDLE pipe, const std::string& text) {
    DWORD written = 0;
    return ::WriteFile(pipe, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

void serveClient(HANDLE pipe, FakeDesktop& desktop) {
    std::string pending;
    char buffer[1024];
    DWORD read = 0;
    while (::ReadFile(pipe, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
        pending.append(buffer, read);
        for (size_t end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (line == "crash") ::TerminateProcess(::GetCurrentProcess(), 9);
            std::string error = brisko::fakeuia::applyCommand(desktop, line);
            if (error.empty() && !desktop.waitUntilDelivered(kDeliveryLimit)) error = "events not delivered";
            if (!writeAll(pipe, error.empty() ? std::string("ok\n") : "error: " + error + "\n")) return;
        }
    }
}

void servePipe(std::shared_ptr<FakeDesktop> desktop) {
    for (;;) {
        brisko::UniqueFile pipe(::CreateNamedPipeW(kPipeName, PIPE_ACCESS_DUPLEX,
                                                   PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT,
                                                   PIPE_UNLIMITED_INSTANCES, 4096, 4096, 0, nullptr));
        if (!pipe) return;
        if (::ConnectNamedPipe(pipe.get(), nullptr) || ::GetLastError() == ERROR_PIPE_CONNECTED)
            serveClient(pipe.get(), *desktop);
        ::DisconnectNamedPipe(pipe.get());
    }
}

// One desktop for the life of the process, as the real one.
std::shared_ptr<FakeDesktop> processDesktop() {
    static const std::shared_ptr<FakeDesktop> desktop = [] {
        std::shared_ptr<FakeDesktop> created = FakeDesktop::create();
        runScript(*created);
        std::thread(servePipe, created).detach();
        return created;
    }();
    return desktop;
}

}  // namespace

namespace brisko::UIA {

std::unique_ptr<MonitorControl> createMonitor(ActivityMonitor& listener) {
    return makeMonitorControl(listener, [desktop = processDesktop()] { return desktop->automation(); });
}

}  // namespace brisko::UIA
