// A stand-in for the session agent's RPC client, driven by its parent test over a named pipe
// "\\.\pipe\brisko-puppet-<parent pid>". Each request is one message of tab-separated UTF-8
// fields; each answer is the RPC status of the call ("0", or the fault code).
//   open [pid id name]...   started pid id name   stopped pid id name   close
//   reuse: a call with the handle that close gave back, rebuilt from its wire form
//   exit: ends at once, its list neither reported nor closed, as if it had been killed
// The agent is launched without arguments, so the parent is found through the process list.
#include <windows.h>

#include <tlhelp32.h>

#include <AgentApplications.h>

#include <sstream>
#include <string>
#include <vector>

#include "seh_guard.h"
#include "text.h"
#include "unique_handle.h"

namespace {

DWORD ParentProcessId() {
    brisko::UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry))
        if (entry.th32ProcessID == ::GetCurrentProcessId()) return entry.th32ParentProcessID;
    return 0;
}

std::vector<std::wstring> Split(const std::wstring& text) {
    std::vector<std::wstring> fields;
    std::wstringstream stream(text);
    for (std::wstring field; std::getline(stream, field, L'\t');) fields.push_back(field);
    return fields;
}

struct Application {
    std::wstring id, name;
    RunningApplication record{};
};

std::vector<Application> Applications(const std::vector<std::wstring>& fields, size_t first) {
    std::vector<Application> applications;
    for (size_t i = first; i + 2 < fields.size(); i += 3)
        applications.push_back({fields[i + 1], fields[i + 2], {std::stol(fields[i]), nullptr, nullptr}});
    for (Application& a : applications) {
        a.record.applicationId = a.id.data();
        a.record.applicationName = a.name.data();
    }
    return applications;
}

}  // namespace

int wmain() {
    const std::wstring pipeName = L"\\\\.\\pipe\\brisko-puppet-" + std::to_wstring(ParentProcessId());
    brisko::UniqueFile pipe(::CreateFileW(pipeName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                          nullptr));
    if (!pipe) return 2;
    DWORD mode = PIPE_READMODE_MESSAGE;
    ::SetNamedPipeHandleState(pipe.get(), &mode, nullptr, nullptr);

    RPC_WSTR bindingText = nullptr;
    wchar_t protocol[] = L"ncalrpc", endpoint[] = L"com.brisko.harbee";
    ::RpcStringBindingComposeW(nullptr, reinterpret_cast<RPC_WSTR>(protocol), nullptr,
                               reinterpret_cast<RPC_WSTR>(endpoint), nullptr, &bindingText);
    handle_t binding = nullptr;
    ::RpcBindingFromStringBindingW(bindingText, &binding);
    ::RpcStringFreeW(&bindingText);

    ApplicationListHandle list = nullptr;
    // The wire form of the last closed handle: the client runtime frees the handle itself.
    unsigned char closed[20] = {};
    const std::string hello = std::to_string(::GetCurrentProcessId());
    DWORD written = 0;
    ::WriteFile(pipe.get(), hello.data(), static_cast<DWORD>(hello.size()), &written, nullptr);

    char buffer[8192];
    DWORD read = 0;
    while (::ReadFile(pipe.get(), buffer, sizeof(buffer), &read, nullptr)) {
        const std::vector<std::wstring> fields = Split(brisko::utf8ToWide(std::string_view(buffer, read)));
        if (fields.empty()) break;
        const std::wstring& command = fields[0];
        std::vector<Application> applications = Applications(fields, 1);
        DWORD status = ERROR_INVALID_FUNCTION;
        if (command == L"open") {
            // The array is a reference: an empty report still passes a valid address.
            std::vector<RunningApplication> records(1);
            records.clear();
            for (const Application& a : applications) records.push_back(a.record);
            status = brisko::RunGuarded([&] {
                list = OpenApplicationList(binding, static_cast<LONG>(records.size()), records.data());
            });
        } else if (command == L"started" && applications.size() == 1) {
            status = brisko::RunGuarded([&] { ApplicationStarted(list, applications[0].record); });
        } else if (command == L"stopped" && applications.size() == 1) {
            status = brisko::RunGuarded([&] { ApplicationStopped(list, applications[0].record); });
        } else if (command == L"close") {
            if (list) ::NDRCContextMarshall(list, closed);
            status = brisko::RunGuarded([&] { CloseApplicationList(&list); });
            if (status == 0 && list != nullptr) status = ERROR_INVALID_DATA;  // must come back null
        } else if (command == L"reuse") {
            ApplicationListHandle stale = nullptr;
            ::NDRCContextUnmarshall(&stale, binding, closed, NDR_LOCAL_DATA_REPRESENTATION);
            RunningApplication nothing{1, nullptr, nullptr};
            status = brisko::RunGuarded([&] { ApplicationStopped(stale, nothing); });
            if (stale) ::RpcSsDestroyClientContext(&stale);
        } else if (command == L"exit") {
            ::ExitProcess(0);
        }
        const std::string answer = std::to_string(status);
        if (!::WriteFile(pipe.get(), answer.data(), static_cast<DWORD>(answer.size()), &written, nullptr)) break;
    }
    ::RpcBindingFree(&binding);
    return 0;
}
