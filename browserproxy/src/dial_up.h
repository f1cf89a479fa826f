#pragma once
// Dial-up, VPN and other RAS entries, through a seam: the two rasapi32 calls are function
// pointers so tests can offer phone books and active connections that Wine does not have.
#include <windows.h>

#include <ras.h>
#include <raserror.h>

namespace brisko {

// RAS_MaxEntryName + 1: an entry name with its terminator.
constexpr size_t kEntryNameCapacity = 257;

// RASCONNW as Windows 7 and later define it (mingw-w64's lacks the last field); 1384 bytes in a
// 32-bit process.
struct RasConnection {
    DWORD dwSize;
    HRASCONN hrasconn;
    WCHAR szEntryName[kEntryNameCapacity];
    WCHAR szDeviceType[RAS_MaxDeviceType + 1];
    WCHAR szDeviceName[RAS_MaxDeviceName + 1];
    WCHAR szPhonebook[MAX_PATH];
    DWORD dwSubEntry;
    GUID guidEntry;
    DWORD dwFlags;
    LUID luid;
    GUID guidCorrelationId;
};
static_assert(sizeof(void*) != 4 || sizeof(RasConnection) == 1384, "RASCONNW of a 32-bit process");
static_assert(sizeof(void*) != 4 || sizeof(RASENTRYNAMEW) == 1048, "RASENTRYNAMEW of a 32-bit process");

struct DialUpApi {
    DWORD(WINAPI* enumConnections)(RasConnection* connections, DWORD* bytes, DWORD* count);
    DWORD(WINAPI* enumEntries)(const wchar_t* reserved, const wchar_t* phoneBook, RASENTRYNAMEW* entries,
                               DWORD* bytes, DWORD* count);
};

// rasapi32's RasEnumConnectionsW and RasEnumEntriesW, bound at their first call.
const DialUpApi& SystemDialUpApi();

// The entry name of the first active RAS connection; false when there is none or its name does
// not fit the buffer.
bool FindActiveDialUpEntry(wchar_t (&name)[kEntryNameCapacity], const DialUpApi& ras = SystemDialUpApi());

}  // namespace brisko
