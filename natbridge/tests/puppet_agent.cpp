// A stand-in for the session agent's RPC client, driven by its parent test over a named pipe
// "\\.\pipe\brisko-puppet-<parent pid>". Each request is one message of tab-separated UTF-8
// fields; each answer is the RPC status of the call ("0", or the fault code).
//   open [pid id name]...   started pid id name   stopped pid id name   close
//   reuse: a call with the handle that close gave back, rebuilt from its wire form
//   repeat n request: the request n times; the first failure, or 0
//   raw-open count size [pid id name]...: OpenApplicationList as bytes, whatever they say: the
//     count, an array of `size` elements on the wire, the first of them the listed ones (with
//     "\0" in a text for a NUL), the others process 0 without texts; an array of more than
//     16 MB is announced by its size only
//   exit: ends at once, its list neither reported nor closed, as if it had been killed
// A text "*n" stands for n letters "x". The agent is launched without arguments, so the parent
// is found through the process list.
#include <windows.h>

#include <tlhelp32.h>

#include <AgentApplications.h>

#include <cstring>
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

std::wstring Text(const std::wstring& field) {
    if (field.size() > 1 && field[0] == L'*') return std::wstring(std::stoul(field.substr(1)), L'x');
    std::wstring text;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field.compare(i, 2, L"\\0") == 0) {
            text += L'\0';
            ++i;
        } else {
            text += field[i];
        }
    }
    return text;
}

std::vector<Application> Applications(const std::vector<std::wstring>& fields, size_t first) {
    std::vector<Application> applications;
    for (size_t i = first; i + 2 < fields.size(); i += 3)
        applications.push_back({Text(fields[i + 1]), Text(fields[i + 2]), {std::stol(fields[i]), nullptr, nullptr}});
    for (Application& a : applications) {
        a.record.applicationId = a.id.data();
        a.record.applicationName = a.name.data();
    }
    return applications;
}

// NDR 2.0, little-endian, as the stubs write it.
class WireWriter {
public:
    void u32(uint32_t value) {
        align4();
        for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<unsigned char>(value >> (8 * i)));
    }
    // A conformant varying string with its terminating NUL.
    void string(const std::wstring& text) {
        const auto units = static_cast<uint32_t>(text.size() + 1);
        u32(units);
        u32(0);
        u32(units);
        for (const wchar_t unit : text + L'\0') {
            bytes_.push_back(static_cast<unsigned char>(unit & 0xFF));
            bytes_.push_back(static_cast<unsigned char>((unit >> 8) & 0xFF));
        }
    }
    const std::vector<unsigned char>& bytes() const { return bytes_; }

private:
    void align4() {
        while (bytes_.size() % 4) bytes_.push_back(0);
    }
    std::vector<unsigned char> bytes_;
};

// As the stubs write it: the binding handle (a long that the server ignores), count, the array.
std::vector<unsigned char> OpenRequest(uint32_t count, uint32_t size, const std::vector<Application>& listed) {
    constexpr uint32_t kLargestSentArray = (16 << 20) / 12;
    WireWriter wire;
    wire.u32(0);
    wire.u32(count);
    wire.u32(size);
    for (uint32_t i = 0; i < size && i < kLargestSentArray; ++i) {
        const bool given = i < listed.size();
        wire.u32(given ? static_cast<uint32_t>(listed[i].record.processId) : 0);
        wire.u32(given ? 0x20000 + 8 * i : 0);  // referent ids of the two strings
        wire.u32(given ? 0x20004 + 8 * i : 0);
    }
    for (const Application& a : listed) {
        wire.string(a.id);
        wire.string(a.name);
    }
    return wire.bytes();
}

// One call of operation `procedure` with these bytes as its request; the call's status.
DWORD SendRaw(handle_t binding, unsigned int procedure, const std::vector<unsigned char>& request) {
    RPC_MESSAGE message{};
    message.Handle = binding;
    message.RpcInterfaceInformation = AgentApplications_v1_0_c_ifspec;
    message.ProcNum = procedure;
    message.DataRepresentation = NDR_LOCAL_DATA_REPRESENTATION;
    message.BufferLength = static_cast<unsigned int>(request.size());
    if (const RPC_STATUS status = ::I_RpcGetBuffer(&message); status != RPC_S_OK) return status;
    std::memcpy(message.Buffer, request.data(), request.size());
    DWORD status = RPC_S_OK;
    const DWORD raised = brisko::RunGuarded([&] { status = ::I_RpcSendReceive(&message); });
    if (raised != 0) return raised;
    ::I_RpcFreeBuffer(&message);
    return status;
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

    const auto run = [&](const std::vector<std::wstring>& fields) -> DWORD {
        const std::wstring& command = fields[0];
        std::vector<Application> applications;
        if (command != L"raw-open") applications = Applications(fields, 1);
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
        } else if (command == L"raw-open" && fields.size() >= 3) {
            const std::vector<std::wstring> listed(fields.begin() + 1, fields.end());
            status = SendRaw(binding, 0,
                             OpenRequest(std::stoul(fields[1]), std::stoul(fields[2]), Applications(listed, 2)));
        } else if (command == L"exit") {
            ::ExitProcess(0);
        }
        return status;
    };

    char buffer[8192];
    DWORD read = 0;
    while (::ReadFile(pipe.get(), buffer, sizeof(buffer), &read, nullptr)) {
        const std::vector<std::wstring> fields = Split(brisko::utf8ToWide(std::string_view(buffer, read)));
        if (fields.empty()) break;
        DWORD status = 0;
        if (fields[0] == L"repeat" && fields.size() > 2) {
            const std::vector<std::wstring> request(fields.begin() + 2, fields.end());
            for (unsigned long i = std::stoul(fields[1]); i > 0 && status == 0; --i) status = run(request);
        } else {
            status = run(fields);
        }
        const std::string answer = std::to_string(status);
        if (!::WriteFile(pipe.get(), answer.data(), static_cast<DWORD>(answer.size()), &written, nullptr)) break;
    }
    ::RpcBindingFree(&binding);
    return 0;
}
