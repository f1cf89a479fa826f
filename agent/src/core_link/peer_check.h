#pragma once
// Whom the agent talks to. Before anything goes to the core (the session's user, the parents'
// password) the socket at the other end of the agent's connection must belong to the process
// that launched the agent, which hosts the core: any other program that holds the port while
// the core's listener is down is treated as a core that is away.
#include <winsock2.h>
#include <windows.h>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

namespace brisko {

struct TcpEndpoint {
    int family = AF_INET;
    std::array<uint8_t, 16> address{};  // IPv4 in the first four bytes
    uint32_t scope = 0;
    uint16_t port = 0;  // host order

    bool operator==(const TcpEndpoint&) const = default;
};

// One connected socket of the machine's TCP table and the process that owns it.
struct TcpRow {
    TcpEndpoint local;
    TcpEndpoint remote;
    DWORD owner = 0;
};

enum class PeerVerdict {
    Trusted,        // the other end is the launcher's
    OwnersUnknown,  // the table names no owner for the other end
    Absent,         // the other end is not in the table (yet)
    Refused,        // the other end is another process's
};

// The verdict on the connection from `ours` to `peer`, by the owner of the table's row for the
// other end. Owner 0 means the table does not know it: Windows names the owner of every connected
// socket (process 0 owns none), Wine only of a socket whose process holds it itself, which the
// core's accepted socket often does not yet when the agent looks. Windows lists a connection the
// listener has not accepted yet as the listener's; Wine 10 lists it only once it is accepted.
PeerVerdict judgePeer(const std::vector<TcpRow>& rows, const TcpEndpoint& ours, const TcpEndpoint& peer,
                      DWORD launcher);

// The connected sockets of one address family; empty when the table cannot be read.
using TcpTableSource = std::function<std::vector<TcpRow>(int family)>;
std::vector<TcpRow> systemTcpTable(int family);

// Asked once a connection is made, before the connection reports itself up; false: the
// connection is closed and retried as if nothing had answered.
using PeerCheck = std::function<bool(SOCKET socket)>;

// Accepts a peer judged Trusted or OwnersUnknown. An absent other end is looked for again for a
// moment (the core accepts at once), then refused.
PeerCheck launcherOwnsPeer(DWORD launcher, TcpTableSource source = systemTcpTable);
// Any peer: for tests of the link itself.
PeerCheck anyPeer();

}  // namespace brisko
