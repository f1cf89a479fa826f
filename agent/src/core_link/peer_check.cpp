#include "core_link/peer_check.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>

namespace brisko {
namespace {

// At most about half a second on the agent's thread, and only where the table is late.
constexpr int kAbsentLooks = 25;
constexpr DWORD kAbsentLookIntervalMs = 20;

const TcpRow* findRow(const std::vector<TcpRow>& rows, const TcpEndpoint& local, const TcpEndpoint& remote) {
    const auto found = std::find_if(rows.begin(), rows.end(),
                                    [&](const TcpRow& row) { return row.local == local && row.remote == remote; });
    return found == rows.end() ? nullptr : &*found;
}

std::optional<TcpEndpoint> endpointOf(const sockaddr_storage& address) {
    TcpEndpoint endpoint;
    endpoint.family = address.ss_family;
    if (address.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
        std::memcpy(endpoint.address.data(), &v4.sin_addr, 4);
        endpoint.port = ::ntohs(v4.sin_port);
        return endpoint;
    }
    if (address.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
        std::memcpy(endpoint.address.data(), &v6.sin6_addr, 16);
        endpoint.scope = v6.sin6_scope_id;
        endpoint.port = ::ntohs(v6.sin6_port);
        return endpoint;
    }
    return std::nullopt;
}

template <typename Query>
std::optional<TcpEndpoint> socketEndpoint(SOCKET socket, Query query) {
    sockaddr_storage address{};
    int size = sizeof address;
    if (query(socket, reinterpret_cast<sockaddr*>(&address), &size) != 0) return std::nullopt;
    return endpointOf(address);
}

}  // namespace

PeerVerdict judgePeer(const std::vector<TcpRow>& rows, const TcpEndpoint& ours, const TcpEndpoint& peer,
                      DWORD launcher) {
    const TcpRow* other = findRow(rows, peer, ours);
    if (!other) return PeerVerdict::Absent;
    if (other->owner == launcher) return PeerVerdict::Trusted;
    return other->owner == 0 ? PeerVerdict::OwnersUnknown : PeerVerdict::Refused;
}

PeerCheck launcherOwnsPeer(DWORD launcher, TcpTableSource source) {
    return [launcher, source = std::move(source)](SOCKET socket) {
        const std::optional<TcpEndpoint> ours = socketEndpoint(socket, &::getsockname);
        const std::optional<TcpEndpoint> peer = socketEndpoint(socket, &::getpeername);
        if (!ours || !peer) return false;
        PeerVerdict verdict = judgePeer(source(ours->family), *ours, *peer, launcher);
        for (int look = 0; verdict == PeerVerdict::Absent && look < kAbsentLooks; ++look) {
            ::Sleep(kAbsentLookIntervalMs);
            verdict = judgePeer(source(ours->family), *ours, *peer, launcher);
        }
        return verdict == PeerVerdict::Trusted || verdict == PeerVerdict::OwnersUnknown;
    };
}

PeerCheck anyPeer() {
    return [](SOCKET) { return true; };
}

}  // namespace brisko
