// The ring buffer against a plain queue: any sequence of appends, consumes, peeks and clears
// keeps the same bytes in the same order, and the block grows in whole blocks only when needed.
#include <algorithm>
#include <cstdint>
#include <deque>
#include <stdexcept>
#include <vector>

#include "core_link/ring_buffer.h"
#include "fuzz_input.h"

using brisko::RingBuffer;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    RingBuffer ring;
    std::deque<uint8_t> model;
    uint8_t next = 0;
    while (!input.empty()) {
        const uint8_t op = input.byte();
        // Counts up to a few blocks, so that both wrapping and growing happen.
        const uint32_t n = input.u16() % (3 * RingBuffer::kBlockSize);
        switch (op % 5) {
            case 0: {
                std::vector<uint8_t> bytes(n);
                for (uint8_t& b : bytes) b = next++;
                const uint32_t capacity = ring.capacity();
                ring.append(bytes.data(), n);
                model.insert(model.end(), bytes.begin(), bytes.end());
                FUZZ_CHECK(ring.capacity() == capacity || ring.capacity() < model.size() + RingBuffer::kBlockSize);
                break;
            }
            case 1: {
                bool refused = false;
                try {
                    ring.consume(n);
                } catch (const std::invalid_argument&) {
                    refused = true;
                }
                FUZZ_CHECK(refused == (n > model.size()));
                if (!refused) model.erase(model.begin(), model.begin() + n);
                break;
            }
            case 2: {
                std::vector<uint8_t> out(n);
                const bool peeked = ring.peek(n ? out.data() : nullptr, n);
                FUZZ_CHECK(peeked == (n <= model.size()));
                if (peeked) FUZZ_CHECK(std::equal(out.begin(), out.end(), model.begin()));
                break;
            }
            case 3: {
                const auto front = ring.contiguous();
                FUZZ_CHECK(front.empty() == model.empty() && front.size() <= model.size());
                FUZZ_CHECK(std::equal(front.begin(), front.end(), model.begin()));
                break;
            }
            default:
                ring.clear();
                model.clear();
                break;
        }
        FUZZ_CHECK(ring.queued() == model.size() && ring.empty() == model.empty());
        FUZZ_CHECK(ring.capacity() % RingBuffer::kBlockSize == 0 && ring.capacity() >= model.size());
    }
    return 0;
}
