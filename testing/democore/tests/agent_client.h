#pragma once
// An agent's end of the core connection for tests: a blocking socket to 127.0.0.1:3800 that
// sends frames and reads the core's, decoded with the agent's own framing.
#include <winsock2.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "core_link/message.h"
#include "core_link/ring_buffer.h"
#include "test_core.h"
#include "unique_handle.h"

namespace brisko::testing {

class AgentClient {
public:
    AgentClient();
    ~AgentClient();
    bool connect(uint16_t port = 3800);
    bool send(const std::vector<uint8_t>& bytes);
    // The next frame within the time, or none.
    std::optional<Message> receive(std::chrono::milliseconds timeout = std::chrono::seconds(20));

private:
    WSADATA winsock_{};
    UniqueSocket socket_;
    RingBuffer input_;
};

}  // namespace brisko::testing
