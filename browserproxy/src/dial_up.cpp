#include "dial_up.h"

#include <algorithm>
#include <cwchar>

#include "heap_memory.h"

namespace brisko {
namespace {

DWORD WINAPI enumConnections(RasConnection* connections, DWORD* bytes, DWORD* count) {
    return ::RasEnumConnectionsW(reinterpret_cast<RASCONNW*>(connections), bytes, count);
}

DWORD WINAPI enumEntries(const wchar_t* reserved, const wchar_t* phoneBook, RASENTRYNAMEW* entries, DWORD* bytes,
                         DWORD* count) {
    return ::RasEnumEntriesW(reserved, phoneBook, entries, bytes, count);
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
