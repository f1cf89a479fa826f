#include "test_core.h"

#include <ws2tcpip.h>

#include <cstring>

#include <msgpack.hpp>

namespace brisko::testing {
namespace {

constexpr uint32_t kMaxFrame = 1 << 20;

uint32_t readBigEndian(const uint8_t* bytes) {
    return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) | bytes[3];
}

void putBigEndian(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

}  // namespace

TestCore::TestCore(uint16_t port, bool listenNow) : port_(port) {
    if (listenNow) listen();
    thread_ = std::thread([this] { serve(); });
}

TestCore::~TestCore() {
    {
        const std::lock_guard lock(mutex_);
        stop_ = true;
    }
    thread_.join();
}

bool TestCore::listen() {
    UniqueSocket listener(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!listener) return false;
    BOOL exclusive = TRUE;
    ::setsockopt(listener.get(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive), sizeof exclusive);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = ::htons(port_);
    address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    if (::bind(listener.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return false;
    if (::listen(listener.get(), SOMAXCONN) != 0) return false;
    int size = sizeof address;
    ::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &size);
    const std::lock_guard lock(mutex_);
    port_ = ::ntohs(address.sin_port);
    listener_ = std::move(listener);
    return true;
}

void TestCore::stopListening() {
    const std::lock_guard lock(mutex_);
    listener_.reset();
}

void TestCore::answerChangeProtection(std::optional<int32_t> result) {
    const std::lock_guard lock(mutex_);
    changeProtectionResult_ = result;
}

void TestCore::react(Reactions reactions) {
    const std::lock_guard lock(mutex_);
    reactions_ = std::move(reactions);
}

bool TestCore::sendNotification(uint8_t code, const std::vector<uint8_t>& payload) {
    return sendRaw(frameBytes(0, 1, code, payload));
}

bool TestCore::sendRaw(const std::vector<uint8_t>& bytes) {
    const std::lock_guard lock(mutex_);
    return sendLocked(bytes);
}

bool TestCore::sendLocked(const std::vector<uint8_t>& bytes) {
    if (!client_) return false;
    size_t done = 0;
    while (done < bytes.size()) {
        const int sent = ::send(client_.get(), reinterpret_cast<const char*>(bytes.data() + done),
                                static_cast<int>(bytes.size() - done), 0);
        if (sent <= 0) return false;
        done += static_cast<size_t>(sent);
    }
    return true;
}

void TestCore::closeClient() {
    const std::lock_guard lock(mutex_);
    client_.reset();
    input_.clear();
}

int TestCore::connections() const {
    const std::lock_guard lock(mutex_);
    return connections_;
}

int TestCore::disconnections() const {
    const std::lock_guard lock(mutex_);
    return disconnections_;
}

std::vector<Clock::time_point> TestCore::acceptTimes() const {
    const std::lock_guard lock(mutex_);
    return acceptTimes_;
}

std::vector<Frame> TestCore::received() const {
    const std::lock_guard lock(mutex_);
    return received_;
}

bool TestCore::clientConnected() const {
    const std::lock_guard lock(mutex_);
    return static_cast<bool>(client_);
}

// Polls with short select time-outs so that the sockets can be replaced or closed from the
// test's thread between two turns.
void TestCore::serve() {
    for (;;) {
        std::unique_lock lock(mutex_);
        if (stop_) return;
        fd_set readable;
        FD_ZERO(&readable);
        if (listener_) FD_SET(listener_.get(), &readable);
        if (client_) FD_SET(client_.get(), &readable);
        if (readable.fd_count == 0) {
            lock.unlock();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        timeval wait{0, 0};
        const int ready = ::select(0, &readable, nullptr, nullptr, &wait);
        if (ready <= 0) {
            lock.unlock();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        if (listener_ && FD_ISSET(listener_.get(), &readable)) {
            UniqueSocket accepted(::accept(listener_.get(), nullptr, nullptr));
            if (accepted) {
                // One agent at a time, as the real core sees it: a newcomer replaces the old link.
                client_ = std::move(accepted);
                input_.clear();
                ++connections_;
                acceptTimes_.push_back(Clock::now());
                if (reactions_.connected) reactions_.connected(connections_);
            }
        }
        if (client_ && FD_ISSET(client_.get(), &readable)) readClient();
    }
}

void TestCore::readClient() {
    char buffer[4096];
    const int count = ::recv(client_.get(), buffer, sizeof buffer, 0);
    if (count <= 0) {
        client_.reset();
        input_.clear();
        ++disconnections_;
        if (reactions_.disconnected) reactions_.disconnected(connections_);
        return;
    }
    input_.insert(input_.end(), buffer, buffer + count);
    for (;;) {
        if (input_.size() < 12) return;
        if (std::memcmp(input_.data(), "spp2", 4) != 0) {
            client_.reset();  // a core would refuse a stream it cannot frame
            input_.clear();
            return;
        }
        Frame frame;
        frame.id = static_cast<int32_t>(readBigEndian(&input_[4]));
        const uint32_t word = readBigEndian(&input_[8]);
        if (frame.id < 0) {
            frame.code = static_cast<int32_t>(word >> 8);
        } else {
            frame.channel = static_cast<uint16_t>(word >> 16);
            frame.code = static_cast<int32_t>((word >> 8) & 0xFF);
        }
        size_t size = 12;
        if (word & 0x01) {
            if (input_.size() < 16) return;
            const uint32_t length = readBigEndian(&input_[12]);
            if (length > kMaxFrame) {
                client_.reset();
                input_.clear();
                return;
            }
            if (input_.size() < 16 + length) return;
            frame.payload.assign(input_.begin() + 16, input_.begin() + 16 + length);
            size = 16 + length;
        }
        input_.erase(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(size));
        frame.values = unpack(frame.payload);
        frame.connection = connections_;
        handle(std::move(frame));
    }
}

void TestCore::handle(Frame frame) {
    if (reactions_.frameReceived) {
        if (const std::vector<uint8_t> reply = reactions_.frameReceived(frame); !reply.empty()) sendLocked(reply);
    } else if (frame.id >= 0 && frame.channel == 2 && frame.code == 0 && changeProtectionResult_) {
        sendLocked(responseBytes(frame.id, *changeProtectionResult_));
    }
    received_.push_back(std::move(frame));
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto end = Clock::now() + timeout;
    for (;;) {
        if (condition()) return true;
        const auto now = Clock::now();
        if (now >= end) return condition();
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - now).count();
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::min<long long>(left, 20)), QS_ALLINPUT);
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
}

std::vector<Value> unpack(const std::vector<uint8_t>& payload) {
    std::vector<Value> values;
    std::size_t offset = 0;
    try {
        while (offset < payload.size()) {
            const msgpack::object_handle handle =
                msgpack::unpack(reinterpret_cast<const char*>(payload.data()), payload.size(), offset);
            const msgpack::object& object = handle.get();
            switch (object.type) {
                case msgpack::type::NIL: values.emplace_back(std::monostate{}); break;
                case msgpack::type::BOOLEAN: values.emplace_back(object.via.boolean); break;
                case msgpack::type::POSITIVE_INTEGER:
                case msgpack::type::NEGATIVE_INTEGER: values.emplace_back(object.as<int64_t>()); break;
                case msgpack::type::STR: values.emplace_back(object.as<std::string>()); break;
                default: return {};
            }
        }
    } catch (const std::exception&) {
        return {};
    }
    return values;
}

std::vector<uint8_t> pack(const std::vector<Value>& values) {
    msgpack::sbuffer buffer;
    msgpack::packer<msgpack::sbuffer> packer(buffer);
    for (const Value& value : values) {
        std::visit(
            [&](const auto& v) {
                using T = std::decay_t<decltype(v)>;
                if constexpr (std::is_same_v<T, std::monostate>)
                    packer.pack_nil();
                else
                    packer.pack(v);
            },
            value);
    }
    return {reinterpret_cast<const uint8_t*>(buffer.data()), reinterpret_cast<const uint8_t*>(buffer.data()) + buffer.size()};
}

std::vector<uint8_t> frameBytes(int32_t id, uint8_t channel, uint8_t code, const std::vector<uint8_t>& payload,
                                uint8_t extraFlags) {
    std::vector<uint8_t> out{'s', 'p', 'p', '2'};
    putBigEndian(out, static_cast<uint32_t>(id));
    const uint8_t flags = static_cast<uint8_t>((payload.empty() ? 0 : 0x01) | extraFlags);
    out.insert(out.end(), {0, channel, code, flags});
    if (flags & 0x01) {
        putBigEndian(out, static_cast<uint32_t>(payload.size()));
        out.insert(out.end(), payload.begin(), payload.end());
    }
    return out;
}

std::vector<uint8_t> responseBytes(int32_t requestId, int32_t result) {
    std::vector<uint8_t> response{'s', 'p', 'p', '2'};
    putBigEndian(response, static_cast<uint32_t>(-requestId));
    putBigEndian(response, static_cast<uint32_t>(result) << 8);
    return response;
}

}  // namespace brisko::testing
