#include <winsock2.h>
#include <windows.h>

#include "soak_faults.h"

#include <AgentApplications.h>

#include <random>
#include <vector>

#include "seh_guard.h"
#include "service_rpc/activity_monitor.h"
#include "test_processes.h"
#include "unique_handle.h"

namespace brisko::soak {

namespace {

constexpr int kOversizedEntries = 200;
constexpr size_t kOversizedText = 8192;

bool sendToCore(const std::vector<char>& bytes) {
    WSADATA data;
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
    bool sent = false;
    {
        UniqueSocket socket(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = ::htons(3800);
        address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
        sent = socket && ::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
               ::send(socket.get(), bytes.data(), static_cast<int>(bytes.size()), 0) == static_cast<int>(bytes.size());
    }
    ::WSACleanup();
    return sent;
}

// Random bytes, then a frame header with a payload far over the protocol's limit.
std::vector<char> garbageAndOversizedFrame() {
    constexpr char kHeader[] = {'s', 'p', 'p', '2', 0, 0, 0, 1, 0, 0, 1, 1, 0x7f, 0x7f, 0x7f, 0x7f};
    std::mt19937 random(std::random_device{}());
    std::vector<char> bytes;
    for (int i = 0; i < 4096; ++i) bytes.push_back(static_cast<char>(random()));
    for (const char byte : kHeader) bytes.push_back(byte);
    return bytes;
}

// The RPC status of each refused call, or 0 where the service accepted it.
std::string oversizedReports() {
    UniqueRpcBinding binding;
    const RPC_STATUS bound = bindServiceEndpoint(binding);
    if (bound != RPC_S_OK) return "no binding (" + std::to_string(bound) + ")";

    std::wstring id = L"win32:" + std::wstring(kOversizedText, L'x') + L".exe";
    std::wstring name(kOversizedText, L'y');
    const RunningApplication entry{static_cast<LONG>(::GetCurrentProcessId()), id.data(), name.data()};
    std::vector<RunningApplication> list(kOversizedEntries, entry);
    ApplicationListHandle handle = nullptr;
    const DWORD opened =
        RunGuarded([&] { handle = OpenApplicationList(binding.get(), static_cast<LONG>(list.size()), list.data()); });
    std::string what = "oversized list " + std::to_string(opened);
    if (opened == 0 && handle) {
        const DWORD reported = RunGuarded([&] { ApplicationStarted(handle, list.front()); });
        what += ", oversized report " + std::to_string(reported);
        RunGuarded([&] { CloseApplicationList(&handle); });
    }
    return what;
}

}  // namespace

bool killAgent(testing::DesktopControl& desktop) {
    const std::vector<DWORD> agents = testing::processesNamed(L"harbeeagent_fakedesktop.exe");
    if (agents.empty()) return false;
    if (const UniqueHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, agents.front())); process)
        return ::TerminateProcess(process.get(), 9) && ::WaitForSingleObject(process.get(), 30000) == WAIT_OBJECT_0;
    const UniqueHandle process(::OpenProcess(SYNCHRONIZE, FALSE, agents.front()));
    if (!process) return false;
    desktop.send("crash");
    return ::WaitForSingleObject(process.get(), 30000) == WAIT_OBJECT_0;
}

bool closeCoreListener() {
    const UniqueHandle event(::OpenEventW(EVENT_MODIFY_STATE, FALSE, kRelistenEvent));
    return event && ::SetEvent(event.get());
}

bool sendGarbage(std::string& what) {
    const bool sent = sendToCore(garbageAndOversizedFrame());
    what = std::string(sent ? "garbage sent to the core" : "the core's port took no garbage") + "; " +
           oversizedReports();
    // Refused calls answer access denied: this process is no agent of the service.
    return sent && what.find("oversized list 5") != std::string::npos;
}

}  // namespace brisko::soak
