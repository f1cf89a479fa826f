#include "core_link/connection.h"

#include <ws2tcpip.h>

#include <climits>
#include <cstring>
#include <exception>
#include <utility>

#include "core_link/frame_codec.h"
#include "loop/window_class.h"

namespace brisko {
namespace {

constexpr wchar_t kWindowClass[] = L"Brisko::Connection";
constexpr size_t kAddressBufferSize = 128;

struct FreeAddresses {
    void operator()(addrinfo* addresses) const { ::freeaddrinfo(addresses); }
};

// A socket event is a window message, which any program on the desktop can post; what the socket
// itself says is the system's. Each event is therefore taken as a hint and checked against it.

bool isConnected(SOCKET socket) {
    sockaddr_storage peer{};
    int size = sizeof peer;
    return ::getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &size) == 0;
}

// A failed read that leaves the connection as it was.
bool stillOpen(int error) { return error == WSAEWOULDBLOCK || error == WSAENOTCONN; }

enum class ReadState { Closed, Data, Nothing };

// Closed: the peer closed (or reset) the connection; Data: bytes wait to be read first; Nothing:
// the connection is open (or still being made) with nothing to read.
ReadState readState(SOCKET socket) {
    char byte = 0;
    const int peeked = ::recv(socket, &byte, 1, MSG_PEEK);
    if (peeked > 0) return ReadState::Data;
    if (peeked == 0) return ReadState::Closed;
    return stillOpen(::WSAGetLastError()) ? ReadState::Nothing : ReadState::Closed;
}

}  // namespace

const bool Connection::classRegistered = registerWindowClass(kWindowClass, &Connection::windowProc);

Connection::Connection(std::weak_ptr<Handler> handler, std::string host, uint16_t port, double retryInterval,
                       PeerCheck peerCheck)
    : host_(std::move(host)), port_(port), retryInterval_(retryInterval), handler_(std::move(handler)),
      peerCheck_(std::move(peerCheck)), pending_(8) {
    pending_.max_load_factor(1.0f);
}

Connection::~Connection() {
    shutdown();
    if (window_) ::SetWindowLongPtrW(window_.get(), GWLP_USERDATA, 0);
}

bool Connection::connect() {
    if (socket_ || host_.empty() || port_ == 0) return false;

    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host_.c_str(), nullptr, &hints, &found) != 0) return false;
    const std::unique_ptr<addrinfo, FreeAddresses> addresses(found);

    const addrinfo* address = addresses.get();
    while (address && address->ai_family != AF_INET && address->ai_family != AF_INET6) address = address->ai_next;
    if (!address || address->ai_addrlen > kAddressBufferSize) return false;

    sockaddr_storage target{};
    std::memcpy(&target, address->ai_addr, address->ai_addrlen);
    if (address->ai_family == AF_INET)
        reinterpret_cast<sockaddr_in&>(target).sin_port = ::htons(port_);
    else
        reinterpret_cast<sockaddr_in6&>(target).sin6_port = ::htons(port_);

    if (!ensureWindow()) {
        close();
        return false;
    }
    socket_.reset(::WSASocketW(address->ai_family, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, 0));
    if (!socket_ ||
        ::WSAAsyncSelect(socket_.get(), window_.get(), kSocketMessage, FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE) != 0 ||
        (::connect(socket_.get(), reinterpret_cast<const sockaddr*>(&target), static_cast<int>(address->ai_addrlen)) != 0 &&
         ::WSAGetLastError() != WSAEWOULDBLOCK)) {
        close();
        return false;
    }
    return true;
}

bool Connection::ensureWindow() {
    if (!window_) {
        window_.reset(::CreateWindowExW(0, kWindowClass, kWindowClass, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                        CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr));
        if (!window_) return false;
    }
    // Set at every attempt, not only when the window is made: events of every later socket must
    // reach this connection too.
    ::SetWindowLongPtrW(window_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    return true;
}

void Connection::sendRequest(const Message& message, Completion completion) {
    const std::vector<uint8_t> bytes = encodeMessage(message);
    const int32_t key = message.id < 0 ? -message.id : message.id;
    pending_.insert_or_assign(key, std::move(completion));
    queue(bytes);
}

void Connection::send(const Message& message) { queue(encodeMessage(message)); }

void Connection::queue(const std::vector<uint8_t>& bytes) {
    output_.append(bytes.data(), static_cast<uint32_t>(bytes.size()));
    flush();
}

void Connection::flush() {
    for (;;) {
        const std::span<const uint8_t> run = output_.contiguous();
        if (run.empty()) return;
        if (!socket_) {
            failAndReconnect();
            return;
        }
        if (!trusted_) return;  // sent once the peer is checked
        const int sent = ::send(socket_.get(), reinterpret_cast<const char*>(run.data()), static_cast<int>(run.size()), 0);
        if (sent > 0) {
            output_.consume(static_cast<uint32_t>(sent));
            continue;
        }
        if (sent == 0) return;
        const int error = ::WSAGetLastError();
        // Would-block: FD_WRITE follows. Not yet connected: FD_WRITE follows the FD_CONNECT, and a
        // failed attempt completes the waiting requests with -1 through close.
        if (error == WSAEWOULDBLOCK || error == WSAENOTCONN) return;
        failAndReconnect();
        return;
    }
}

void Connection::failAndReconnect() {
    close();
    scheduleReconnect();
}

void Connection::scheduleReconnect() {
    if (retryTimer_) return;
    retryTimer_ = std::make_unique<Timer>(Timer::now() + retryInterval_, retryInterval_, [this](Timer&) {
        // A failed attempt, thrown or answered, leaves nothing half made; the timer tries again.
        try {
            if (connect()) retryTimer_.reset();
        } catch (const std::exception&) {
            close();
        }
    });
    retryTimer_->schedule();
}

void Connection::close() {
    if (socket_) {
        ::WSAAsyncSelect(socket_.get(), window_.get(), 0, 0);
        socket_.reset();
    }
    trusted_ = false;
    input_.clear();
    output_.clear();
    // A completion may send again, and so reach close again: the map is emptied before any runs.
    std::unordered_map<int32_t, Completion> pending;
    pending.swap(pending_);
    for (auto& [key, completion] : pending) completion(Message{key, 0, -1, {}});
}

void Connection::shutdown() {
    close();
    retryTimer_.reset();
    handler_.reset();
}

LRESULT CALLBACK Connection::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* connection = reinterpret_cast<Connection*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!connection) return ::DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
        case WM_DESTROY:
            return 0;
        // Only the connection ends its window: without it no socket event would arrive.
        case WM_CLOSE:
            return 0;
        case kSocketMessage:
            // Events of a socket closed earlier may still be queued; only the current one counts.
            if (!connection->socket_ || static_cast<SOCKET>(wParam) != connection->socket_.get()) return 0;
            // An exception must not unwind through the system's dispatch code: any failure while
            // handling an event ends this connection and starts the retry.
            try {
                connection->socketEvent(LOWORD(lParam), HIWORD(lParam));
            } catch (const std::exception&) {
                connection->failAndReconnect();
            }
            return 0;
        default:
            return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

void Connection::socketEvent(WORD event, WORD error) {
    switch (event) {
        case FD_READ:
            receive();
            break;
        case FD_WRITE:
            flush();
            break;
        case FD_CONNECT:
            if (error == 0) {
                connected();
            } else if (!isConnected(socket_.get())) {
                failAndReconnect();
            }
            break;
        case FD_CLOSE:
            // Bytes sent before the close are read first; the read that finds the end closes.
            switch (readState(socket_.get())) {
                case ReadState::Closed:
                    peerClosed();
                    break;
                case ReadState::Data:
                    receive();
                    break;
                case ReadState::Nothing:
                    break;
            }
            break;
        default:
            break;
    }
}

void Connection::connected() {
    // Once per socket, and only once it is connected: an FD_CONNECT posted by anyone else before
    // that (or again later) changes nothing.
    if (trusted_ || !isConnected(socket_.get())) return;
    if (!peerCheck_(socket_.get())) {
        failAndReconnect();
        return;
    }
    trusted_ = true;
    if (const auto handler = handler_.lock()) handler->connectionChanged(*this, true);
    // What was queued or arrived while the peer was not yet checked.
    flush();
    receive();
}

void Connection::receive() {
    if (!socket_ || !trusted_) return;
    char buffer[kReadSize];
    const int received = ::recv(socket_.get(), buffer, sizeof buffer, 0);
    if (received > 0) {
        input_.append(buffer, static_cast<uint32_t>(received));
        drain();
    } else if (received == 0 || !stillOpen(::WSAGetLastError())) {
        peerClosed();
    }
}

void Connection::peerClosed() {
    close();
    if (const auto handler = handler_.lock()) handler->connectionChanged(*this, false);
    scheduleReconnect();
}

void Connection::drain() {
    try {
        while (std::optional<Message> message = parseMessage(input_)) dispatch(std::move(*message));
    } catch (const std::exception&) {
        failAndReconnect();
    }
}

void Connection::dispatch(Message message) {
    if (message.id < 0) {
        if (message.id == INT32_MIN) return;  // no request can have that id
        const auto found = pending_.find(-message.id);
        if (found == pending_.end()) return;
        const Completion completion = std::move(found->second);
        pending_.erase(found);
        completion(message);
        return;
    }
    if (const auto handler = handler_.lock()) {
        if (const std::unique_ptr<Message> reply = handler->messageReceived(*this, message)) send(*reply);
    }
}

}  // namespace brisko
