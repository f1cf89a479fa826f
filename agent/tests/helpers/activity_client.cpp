// The agent's service link for the RPC tests: the real ActivityMonitor on a main thread of its
// own, with a window monitor whose reports the parent test sends over the pipe
// "\\.\pipe\brisko-puppet-<parent pid>", one message of tab-separated UTF-8 fields each:
//   initial [pid id name]...   started pid id name   stopped pid id name   end
// A report is answered with "1" when the agent holds a list afterwards, else "0"; "end" stops
// the agent as at a normal shutdown. Exit code: 2 when the agent ended itself because the
// service was lost, plus 1 when it still held a list after stopping; 4 without a pipe.
#include <windows.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "identification/process_identity.h"
#include "service_rpc/activity_monitor.h"
#include "text.h"
#include "unique_handle.h"

namespace {

constexpr UINT kEndRequest = WM_APP;
constexpr UINT kServiceLost = WM_APP + 1;

// Every field counts, an empty last one too.
std::vector<std::wstring> split(const std::wstring& text) {
    std::vector<std::wstring> fields;
    for (size_t start = 0;;) {
        const size_t tab = text.find(L'\t', start);
        fields.push_back(text.substr(start, tab - start));
        if (tab == std::wstring::npos) return fields;
        start = tab + 1;
    }
}

std::vector<brisko::UIA::RunningApplicationInfo> applications(const std::vector<std::wstring>& fields) {
    std::vector<brisko::UIA::RunningApplicationInfo> list;
    for (size_t i = 1; i + 2 < fields.size(); i += 3)
        list.push_back({static_cast<DWORD>(std::stoul(fields[i])), fields[i + 1], fields[i + 2]});
    return list;
}

// Overlapped I/O on the pipe, so that a read can be given up when the monitor stops.
class Pipe {
public:
    explicit Pipe(const std::wstring& name)
        : pipe_(::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr)),
          done_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        DWORD mode = PIPE_READMODE_MESSAGE;
        if (pipe_) ::SetNamedPipeHandleState(pipe_.get(), &mode, nullptr, nullptr);
    }
    explicit operator bool() const { return static_cast<bool>(pipe_); }

    bool write(const std::string& text) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = done_.get();
        DWORD count = 0;
        return ::WriteFile(pipe_.get(), text.data(), static_cast<DWORD>(text.size()), &count, &overlapped) ||
               (::GetLastError() == ERROR_IO_PENDING && ::GetOverlappedResult(pipe_.get(), &overlapped, &count, TRUE));
    }
    // False when the pipe breaks or `stop` is set first.
    bool read(std::string& text, HANDLE stop) {
        char buffer[8192];
        OVERLAPPED overlapped{};
        overlapped.hEvent = done_.get();
        DWORD count = 0;
        if (!::ReadFile(pipe_.get(), buffer, sizeof buffer, &count, &overlapped)) {
            if (::GetLastError() != ERROR_IO_PENDING) return false;
            const HANDLE events[] = {done_.get(), stop};
            if (::WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0) {
                ::CancelIoEx(pipe_.get(), &overlapped);
                ::GetOverlappedResult(pipe_.get(), &overlapped, &count, TRUE);
                return false;
            }
            if (!::GetOverlappedResult(pipe_.get(), &overlapped, &count, FALSE)) return false;
        }
        text.assign(buffer, count);
        return true;
    }

private:
    brisko::UniqueFile pipe_;
    brisko::UniqueHandle done_;
};

// Makes the reports on a worker thread, as the window monitor's work queue does.
class PipeMonitor final : public brisko::UIA::MonitorControl {
public:
    PipeMonitor(Pipe& pipe, brisko::ActivityMonitor& activity, DWORD mainThread)
        : pipe_(pipe), activity_(activity), mainThread_(mainThread), stop_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    void start() override { worker_ = std::thread([this] { serve(); }); }
    void stop() override {
        ::SetEvent(stop_.get());
        if (worker_.joinable()) worker_.join();
    }

private:
    void serve() {
        for (std::string request; pipe_.read(request, stop_.get());) {
            const std::vector<std::wstring> fields = split(brisko::utf8ToWide(request));
            if (fields.empty()) return;
            if (fields[0] == L"end") {
                pipe_.write("0");
                ::PostThreadMessageW(mainThread_, kEndRequest, 0, 0);
                return;
            }
            const auto list = applications(fields);
            if (fields[0] == L"initial") {
                activity_.reportInitial(list);
            } else if (fields[0] == L"started" && list.size() == 1) {
                activity_.reportStarted(list[0].processId, list[0].applicationId, list[0].applicationName);
            } else if (fields[0] == L"stopped" && list.size() == 1) {
                activity_.reportStopped(list[0].processId, list[0].applicationId, list[0].applicationName);
            }
            if (!pipe_.write(activity_.listOpen() ? "1" : "0")) return;
        }
    }

    Pipe& pipe_;
    brisko::ActivityMonitor& activity_;
    DWORD mainThread_;
    brisko::UniqueHandle stop_;
    std::thread worker_;
};

}  // namespace

int wmain() {
    Pipe pipe(L"\\\\.\\pipe\\brisko-puppet-" + std::to_wstring(brisko::parentProcessId(::GetCurrentProcessId())));
    if (!pipe || !pipe.write(std::to_string(::GetCurrentProcessId()))) return 4;

    const DWORD mainThread = ::GetCurrentThreadId();
    MSG message;
    ::PeekMessageW(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);  // the queue, before anyone posts
    brisko::ActivityMonitor activity(
        [&](brisko::UIA::ActivityMonitor& listener) {
            return std::make_unique<PipeMonitor>(pipe, static_cast<brisko::ActivityMonitor&>(listener), mainThread);
        },
        [mainThread] { ::PostThreadMessageW(mainThread, kServiceLost, 0, 0); });
    activity.start();
    bool quitRequested = false;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.hwnd == nullptr && message.message == kServiceLost) {
            quitRequested = true;
            break;
        }
        if (message.hwnd == nullptr && message.message == kEndRequest) break;
        ::DispatchMessageW(&message);
    }
    activity.stop();
    return (quitRequested ? 2 : 0) | (activity.listOpen() ? 1 : 0);
}
