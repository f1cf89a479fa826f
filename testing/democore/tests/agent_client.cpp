#include "agent_client.h"

#include "core_link/frame_codec.h"

namespace brisko::testing {

AgentClient::AgentClient() { ::WSAStartup(0x0202, &winsock_); }

AgentClient::~AgentClient() {
    socket_.reset();
    ::WSACleanup();
}

bool AgentClient::connect(uint16_t port) {
    socket_.reset(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = ::htons(port);
    address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    return socket_ && ::connect(socket_.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

bool AgentClient::send(const std::vector<uint8_t>& bytes) {
    return ::send(socket_.get(), reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()), 0) ==
           static_cast<int>(bytes.size());
}

std::optional<Message> AgentClient::receive(std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (auto message = parseMessage(input_)) return message;
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) return std::nullopt;
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(socket_.get(), &readable);
        timeval wait{static_cast<long>(left.count() / 1000000), static_cast<long>(left.count() % 1000000)};
        if (::select(0, &readable, nullptr, nullptr, &wait) <= 0) return std::nullopt;
        char buffer[2048];
        const int count = ::recv(socket_.get(), buffer, sizeof buffer, 0);
        if (count <= 0) return std::nullopt;
        input_.append(buffer, static_cast<uint32_t>(count));
    }
}

}  // namespace brisko::testing
