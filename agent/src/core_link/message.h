#pragma once
// One message of the agent protocol, as it travels between the agent and the core.
#include <cstdint>
#include <vector>

namespace brisko {

struct Message {
    int32_t id = 0;         // >= 0: request or notification; < 0: response to request -id
    uint16_t channel = 0;   // 0 in responses
    int32_t code = 0;       // operation, or the result of a response
    std::vector<uint8_t> payload;

    bool operator==(const Message&) const = default;
};

}  // namespace brisko
