// A service for the runner's tests. Installed as "test_service.exe //RS//<name>", it reports
// running and stops when asked. Its pace comes from REG_DWORD values in the "Parameters" key of
// its service key, all optional: StartHint, StartDelay, StartProgress, StopHint, StopDelay,
// StopProgress (delays and hints in ms; Progress non-zero moves the check point while pending).
#include <windows.h>

#include <cwchar>
#include <mutex>
#include <string>

#include "unique_handle.h"

namespace {

std::wstring ServiceName;
SERVICE_STATUS_HANDLE StatusHandle = nullptr;
SERVICE_STATUS Status{};
std::mutex StatusLock;
HANDLE StopRequested = nullptr;

DWORD setting(const wchar_t* name) {
    const std::wstring path = L"SYSTEM\\CurrentControlSet\\Services\\" + ServiceName + L"\\Parameters";
    DWORD value = 0;
    DWORD size = sizeof(value);
    ::RegGetValueW(HKEY_LOCAL_MACHINE, path.c_str(), name, RRF_RT_REG_DWORD, nullptr, &value, &size);
    return value;
}

void report(DWORD state, DWORD waitHint = 0, bool nextCheckPoint = false) {
    const std::lock_guard<std::mutex> guard(StatusLock);
    Status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    Status.dwCurrentState = state;
    Status.dwWaitHint = waitHint;
    Status.dwControlsAccepted =
        state == SERVICE_RUNNING || state == SERVICE_PAUSED ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE : 0;
    if (state == SERVICE_RUNNING || state == SERVICE_STOPPED || state == SERVICE_PAUSED)
        Status.dwCheckPoint = 0;
    else if (nextCheckPoint)
        ++Status.dwCheckPoint;
    ::SetServiceStatus(StatusHandle, &Status);
}

// Stays in a pending state for delay ms, moving the check point on each slice when asked to.
void pending(DWORD state, const wchar_t* hint, const wchar_t* delay, const wchar_t* progress) {
    const DWORD waitHint = setting(hint);
    const bool moves = setting(progress) != 0;
    report(state, waitHint, true);
    for (DWORD waited = 0; waited < setting(delay); waited += 200) {
        ::Sleep(200);
        if (moves) report(state, waitHint, true);
    }
}

DWORD WINAPI handler(DWORD control, DWORD, void*, void*) {
    switch (control) {
    case SERVICE_CONTROL_STOP: ::SetEvent(StopRequested); break;
    case SERVICE_CONTROL_PAUSE: report(SERVICE_PAUSED); break;
    case SERVICE_CONTROL_CONTINUE: report(SERVICE_RUNNING); break;
    case SERVICE_CONTROL_INTERROGATE: report(Status.dwCurrentState, Status.dwWaitHint); break;
    default: return ERROR_CALL_NOT_IMPLEMENTED;
    }
    return NO_ERROR;
}

void WINAPI serviceMain(DWORD, wchar_t**) {
    StatusHandle = ::RegisterServiceCtrlHandlerExW(ServiceName.c_str(), handler, nullptr);
    if (!StatusHandle) return;
    pending(SERVICE_START_PENDING, L"StartHint", L"StartDelay", L"StartProgress");
    report(SERVICE_RUNNING);
    ::WaitForSingleObject(StopRequested, INFINITE);
    pending(SERVICE_STOP_PENDING, L"StopHint", L"StopDelay", L"StopProgress");
    report(SERVICE_STOPPED);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    constexpr wchar_t Prefix[] = L"//RS//";
    const size_t prefixLength = std::wcslen(Prefix);
    if (argc < 2 || std::wcsncmp(argv[1], Prefix, prefixLength) != 0) return 2;
    ServiceName = argv[1] + prefixLength;
    const brisko::UniqueHandle stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    StopRequested = stop.get();
    SERVICE_TABLE_ENTRYW table[] = {{ServiceName.data(), serviceMain}, {nullptr, nullptr}};
    return ::StartServiceCtrlDispatcherW(table) ? 0 : 1;
}
