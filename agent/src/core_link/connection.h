#pragma once
// The agent's TCP link to the core: a non-blocking socket driven by window messages on the main
// thread, "spp2" framing, request/response matching and an endless reconnection timer.
#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "core_link/completion.h"
#include "core_link/message.h"
#include "core_link/peer_check.h"
#include "core_link/ring_buffer.h"
#include "loop/timer.h"
#include "unique_handle.h"

namespace brisko {

class Connection {
public:
    class Handler {
    public:
        virtual ~Handler() = default;
        virtual void connectionChanged(Connection& connection, bool up) = 0;
        // A non-null reply is sent back at once.
        virtual std::unique_ptr<Message> messageReceived(Connection& connection, const Message& message) = 0;
    };

    // Receives the response, or a message with code -1 when the connection goes away first.
    using Completion = brisko::Completion<const Message&>;

    static constexpr UINT kSocketMessage = WM_USER + 1;
    static constexpr uint32_t kReadSize = 2048;

    // Nothing is sent or read, and the handler hears of no connection, until the peer check has
    // accepted the other end; a refused one is closed and retried as if nothing had answered.
    explicit Connection(std::weak_ptr<Handler> handler, std::string host = "127.0.0.1", uint16_t port = 3800,
                        double retryInterval = 10.0, PeerCheck peerCheck = anyPeer());
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // One attempt; true when a socket exists and its connection is under way or made.
    bool connect();
    void sendRequest(const Message& message, Completion completion);
    void send(const Message& message);
    void scheduleReconnect();
    // Drops the socket, the queued bytes and every pending request (completed with -1).
    void close();
    // close, stop the retry timer and forget the handler; the object stays usable for nothing else.
    void shutdown();

    bool hasSocket() const { return static_cast<bool>(socket_); }
    bool isReconnectScheduled() const { return retryTimer_ != nullptr; }
    size_t pendingRequests() const { return pending_.size(); }
    // Bytes received that do not make a whole frame yet.
    uint32_t bytesAwaitingAFrame() const { return input_.queued(); }

private:
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static const bool classRegistered;

    bool ensureWindow();
    void socketEvent(WORD event, WORD error);
    void connected();
    void peerClosed();
    void receive();
    void drain();
    void dispatch(Message message);
    void queue(const std::vector<uint8_t>& bytes);
    void flush();
    void failAndReconnect();

    std::string host_;
    uint16_t port_;
    double retryInterval_;
    std::weak_ptr<Handler> handler_;
    PeerCheck peerCheck_;
    bool trusted_ = false;  // the peer check accepted this socket's other end
    std::unique_ptr<Timer> retryTimer_;
    RingBuffer input_;
    RingBuffer output_;
    std::unordered_map<int32_t, Completion> pending_;
    UniqueWindow window_;
    UniqueSocket socket_;
};

}  // namespace brisko
