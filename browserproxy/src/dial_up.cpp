#include "dial_up.h"

#include <algorithm>
#include <cwchar>

#include "heap_memory.h"
#include "system_library.h"

namespace brisko {
namespace {

// RASAPI32.DLL is bound at run time from the system folder: as an import of the installer
// plug-in it would be looked up beside the setup program first. Without it there is no
// connection and no phone book.
DWORD WINAPI enumConnections(RasConnection* connections, DWORD* bytes, DWORD* count) {
    static const auto enumerate =
        SystemProcAddress<decltype(&::RasEnumConnectionsW)>(L"rasapi32.dll", "RasEnumConnectionsW");
    if (!enumerate) return ERROR_PROC_NOT_FOUND;
    return enumerate(reinterpret_cast<RASCONNW*>(connections), bytes, count);
}

DWORD WINAPI enumEntries(const wchar_t* reserved, const wchar_t* phoneBook, RASENTRYNAMEW* entries, DWORD* bytes,
                         DWORD* count) {
    static const auto enumerate =
        SystemProcAddress<decltype(&::RasEnumEntriesW)>(L"rasapi32.dll", "RasEnumEntriesW");
    if (!enumerate) return ERROR_PROC_NOT_FOUND;
    return enumerate(reserved, phoneBook, entries, bytes, count);
}

}  // namespace

const DialUpApi& SystemDialUpApi() {
    static const DialUpApi api{&enumConnections, &enumEntries};
    return api;
}

bool FindActiveDialUpEntry(wchar_t (&name)[kEntryNameCapacity], const DialUpApi& ras) {
    RasConnection probe{};
    probe.dwSize = sizeof(RasConnection);
    DWORD bytes = 0;
    DWORD count = 0;
    if (ras.enumConnections(&probe, &bytes, &count) != ERROR_BUFFER_TOO_SMALL) return false;
    // Never less than one element: the size field of the first is written before the call.
    bytes = std::max<DWORD>(bytes, sizeof(RasConnection));
    const auto connections = allocateZeroed<RasConnection>(bytes);
    if (!connections) return false;
    connections.get()->dwSize = sizeof(RasConnection);
    if (ras.enumConnections(connections.get(), &bytes, &count) != ERROR_SUCCESS || count == 0) return false;
    const wchar_t* entry = connections.get()->szEntryName;
    const size_t length = wcsnlen(entry, kEntryNameCapacity);
    if (length >= kEntryNameCapacity) return false;
    std::wmemcpy(name, entry, length + 1);
    return true;
}

}  // namespace brisko
