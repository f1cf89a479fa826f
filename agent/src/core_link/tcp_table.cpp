// The system's TCP table, alone in its file: the one call the peer check cannot make under Wine
// with a meaningful answer (Wine names no owner for any socket).
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>

#include <cstring>
#include <vector>

#include "core_link/peer_check.h"

namespace brisko {
namespace {

// The table's ports are in network order in the low 16 bits.
uint16_t tablePort(DWORD port) { return ::ntohs(static_cast<u_short>(port)); }

TcpEndpoint v4Endpoint(DWORD address, DWORD port) {
    TcpEndpoint endpoint;
    endpoint.family = AF_INET;
    std::memcpy(endpoint.address.data(), &address, 4);
    endpoint.port = tablePort(port);
    return endpoint;
}

TcpEndpoint v6Endpoint(const UCHAR (&address)[16], DWORD scope, DWORD port) {
    TcpEndpoint endpoint;
    endpoint.family = AF_INET6;
    std::memcpy(endpoint.address.data(), address, 16);
    endpoint.scope = scope;
    endpoint.port = tablePort(port);
    return endpoint;
}

// The table grows between the size query and the read when sockets open meanwhile: each try
// leaves room for more rows than it was told of. An unreadable table is an empty one, in which
// no peer is found.
std::vector<BYTE> readTable(int family) {
    std::vector<BYTE> table;
    DWORD size = 0;
    for (int attempt = 0; attempt < 8; ++attempt) {
        table.resize(size == 0 ? 0 : size + size / 4 + 4096);
        size = static_cast<DWORD>(table.size());
        const DWORD result = ::GetExtendedTcpTable(table.empty() ? nullptr : table.data(), &size, FALSE,
                                                   static_cast<ULONG>(family), TCP_TABLE_OWNER_PID_CONNECTIONS, 0);
        if (result == NO_ERROR) return table;
        if (result != ERROR_INSUFFICIENT_BUFFER) break;
    }
    return {};
}

}  // namespace

std::vector<TcpRow> systemTcpTable(int family) {
    const std::vector<BYTE> bytes = readTable(family);
    std::vector<TcpRow> rows;
    if (bytes.empty()) return rows;
    if (family == AF_INET) {
        const auto* table = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(bytes.data());
        for (DWORD i = 0; i < table->dwNumEntries; ++i) {
            const MIB_TCPROW_OWNER_PID& row = table->table[i];
            rows.push_back({v4Endpoint(row.dwLocalAddr, row.dwLocalPort), v4Endpoint(row.dwRemoteAddr, row.dwRemotePort),
                            row.dwOwningPid});
        }
    } else if (family == AF_INET6) {
        const auto* table = reinterpret_cast<const MIB_TCP6TABLE_OWNER_PID*>(bytes.data());
        for (DWORD i = 0; i < table->dwNumEntries; ++i) {
            const MIB_TCP6ROW_OWNER_PID& row = table->table[i];
            rows.push_back({v6Endpoint(row.ucLocalAddr, row.dwLocalScopeId, row.dwLocalPort),
                            v6Endpoint(row.ucRemoteAddr, row.dwRemoteScopeId, row.dwRemotePort), row.dwOwningPid});
        }
    }
    return rows;
}

}  // namespace brisko
