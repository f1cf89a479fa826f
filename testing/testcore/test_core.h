#pragma once
// A scriptable stand-in for the core's side of the agent protocol: it listens on the loopback
// interface, takes one agent at a time, records every frame it receives with its decoded
// MessagePack values, answers ChangeProtection with a chosen result, and sends notifications or
// any raw bytes on request. Its framing is written apart from the agent's on purpose.
#include <winsock2.h>
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "unique_handle.h"

namespace brisko::testing {

// A decoded payload value: nil, boolean, integer or string (other kinds are not in the protocol).
using Value = std::variant<std::monostate, bool, int64_t, std::string>;

struct Frame {
    int32_t id = 0;
    uint16_t channel = 0;
    int32_t code = 0;
    std::vector<uint8_t> payload;
    std::vector<Value> values;  // empty when the payload is not MessagePack
    int connection = 0;         // which accepted connection (1, 2, ...) carried it
};

using Clock = std::chrono::steady_clock;

class TestCore {
public:
    // Port 0 picks a free port (see port()); the real agent needs 3800.
    explicit TestCore(uint16_t port = 3800, bool listenNow = true);
    ~TestCore();
    TestCore(const TestCore&) = delete;
    TestCore& operator=(const TestCore&) = delete;

    bool listen();         // false when the port cannot be bound
    void stopListening();  // refuses later connections; a connected agent stays connected
    uint16_t port() const { return port_; }

    // nullopt: ChangeProtection requests stay unanswered.
    void answerChangeProtection(std::optional<int32_t> result);

    // A core that plays its part by itself (the demo core) reacts to its agents here. Each
    // reaction runs on the core's thread with the core's lock held, so it must not call back
    // into this object.
    struct Reactions {
        std::function<void(int connection)> connected;
        std::function<void(int connection)> disconnected;
        // The bytes to send back for a frame (a response, notifications); when set, it replaces
        // the fixed ChangeProtection answer.
        std::function<std::vector<uint8_t>(const Frame&)> frameReceived;
    };
    void react(Reactions reactions);

    // Frames and raw bytes go to the connected agent; false when none is connected.
    bool sendNotification(uint8_t code, const std::vector<uint8_t>& payload);
    bool sendRaw(const std::vector<uint8_t>& bytes);
    void closeClient();

    int connections() const;                   // accepted so far
    int disconnections() const;                // connections the agent ended
    std::vector<Clock::time_point> acceptTimes() const;
    std::vector<Frame> received() const;
    bool clientConnected() const;

private:
    void serve();
    void readClient();
    void handle(Frame frame);
    bool sendLocked(const std::vector<uint8_t>& bytes);

    // Declared first: Winsock stays up until every socket below is closed.
    struct Winsock {
        Winsock() { ::WSAStartup(0x0202, &data); }
        ~Winsock() { ::WSACleanup(); }
        WSADATA data{};
    } winsock_;
    uint16_t port_;
    UniqueSocket listener_;
    UniqueSocket client_;
    std::vector<uint8_t> input_;
    std::optional<int32_t> changeProtectionResult_ = 0;
    Reactions reactions_;
    int connections_ = 0;
    int disconnections_ = 0;
    std::vector<Clock::time_point> acceptTimes_;
    std::vector<Frame> received_;
    bool stop_ = false;
    mutable std::mutex mutex_;
    std::thread thread_;
};

// Pumps the calling thread's messages (an in-process connection runs on them) until the
// condition holds or the timeout passes; answers the condition's last value.
bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

// Payload and frame builders for notifications and malformed input.
std::vector<uint8_t> pack(const std::vector<Value>& values);
// The values of a payload; empty when it is not MessagePack of the protocol's kinds.
std::vector<Value> unpack(const std::vector<uint8_t>& payload);
std::vector<uint8_t> frameBytes(int32_t id, uint8_t channel, uint8_t code, const std::vector<uint8_t>& payload,
                                uint8_t extraFlags = 0);
// The response to request `requestId` with a result code and no payload.
std::vector<uint8_t> responseBytes(int32_t requestId, int32_t result);

}  // namespace brisko::testing
