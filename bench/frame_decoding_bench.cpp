// Decoding received frames next to a bare memcpy of the same bytes. Both take the stream in the
// connection's 2048-byte reads; decoding appends each read to the input ring and takes every
// complete message off it, as the connection's receive path does.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_report.h"
#include "core_link/frame_codec.h"
#include "core_link/ring_buffer.h"

namespace {

using namespace brisko;
using namespace brisko::bench;

constexpr size_t kStreamBytes = 16 << 20;
constexpr size_t kReadSize = 2048;
constexpr int kRounds = 9;

std::vector<uint8_t> frameStream(size_t payloadSize) {
    Message message{7, 1, 2, std::vector<uint8_t>(payloadSize, 0x5a)};
    const std::vector<uint8_t> frame = encodeMessage(message);
    std::vector<uint8_t> stream;
    while (stream.size() < kStreamBytes) stream.insert(stream.end(), frame.begin(), frame.end());
    return stream;
}

// Seconds to decode the whole stream; throws if a frame goes missing.
double decode(const std::vector<uint8_t>& stream, size_t expectedMessages) {
    const auto start = Clock::now();
    RingBuffer input;
    size_t messages = 0;
    for (size_t offset = 0; offset < stream.size(); offset += kReadSize) {
        const size_t n = std::min(kReadSize, stream.size() - offset);
        input.append(stream.data() + offset, static_cast<uint32_t>(n));
        while (const auto message = parseMessage(input)) {
            keep(message->payload.data());
            ++messages;
        }
    }
    const double seconds = secondsSince(start);
    if (messages != expectedMessages) throw std::runtime_error("frames lost in decoding");
    return seconds;
}

double copy(const std::vector<uint8_t>& stream) {
    const auto start = Clock::now();
    uint8_t read[kReadSize];
    for (size_t offset = 0; offset < stream.size(); offset += kReadSize) {
        const size_t n = std::min(kReadSize, stream.size() - offset);
        std::memcpy(read, stream.data() + offset, n);
        keep(read);
    }
    return secondsSince(start);
}

void measure(const std::string& name, size_t payloadSize) {
    const std::vector<uint8_t> stream = frameStream(payloadSize);
    const size_t frames = stream.size() / encodeMessage({7, 1, 2, std::vector<uint8_t>(payloadSize)}).size();
    const double megabytes = static_cast<double>(stream.size()) / 1e6;
    std::vector<double> decoded, copied, ratios;
    for (int round = 0; round < kRounds; ++round) {
        const double decodeSeconds = decode(stream, frames);
        const double copySeconds = copy(stream);
        decoded.push_back(megabytes / decodeSeconds);
        copied.push_back(megabytes / copySeconds);
        ratios.push_back(decodeSeconds / copySeconds);
    }
    report("frame_decode_" + name, median(decoded), "MB/s");
    report("memcpy_" + name, median(copied), "MB/s");
    report("frame_decode_" + name + "_time_vs_memcpy", median(ratios), "x");
}

}  // namespace

int main() {
    measure("32B_payloads", 32);
    measure("32KiB_payloads", 32768);
    return 0;
}
