// Decoding received frames next to a bare memcpy of the same bytes. Both take the stream in the
// connection's 2048-byte reads; decoding appends each read to the input ring and takes every
// complete message off it, as the connection's receive path does. Figures for small frames
// (notifications) and for the largest payload the protocol allows.
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

// Small enough to stay in the cache, as just-received bytes are: both sides measure the work
// done on the bytes, not the memory bus.
constexpr size_t kStreamBytes = 256 << 10;
constexpr size_t kReadSize = 2048;
constexpr int kSamples = 200;

// Whole frames, at least kStreamBytes of them.
std::vector<uint8_t> frameStream(size_t payloadSize) {
    const std::vector<uint8_t> frame = encodeMessage({7, 1, 2, std::vector<uint8_t>(payloadSize, 0x5a)});
    std::vector<uint8_t> stream;
    while (stream.size() < kStreamBytes) stream.insert(stream.end(), frame.begin(), frame.end());
    return stream;
}

// Seconds to take the stream in reads and decode every message; the ring is kept from one call
// to the next, as the connection keeps its own.
double decode(const std::vector<uint8_t>& stream, RingBuffer& input, size_t& messages) {
    const auto start = Clock::now();
    for (size_t offset = 0; offset < stream.size(); offset += kReadSize) {
        input.append(stream.data() + offset, static_cast<uint32_t>(std::min(kReadSize, stream.size() - offset)));
        while (const auto message = parseMessage(input)) {
            keep(message->payload.data());
            ++messages;
        }
    }
    return secondsSince(start);
}

double copy(const std::vector<uint8_t>& stream) {
    const auto start = Clock::now();
    uint8_t read[kReadSize];
    for (size_t offset = 0; offset < stream.size(); offset += kReadSize) {
        std::memcpy(read, stream.data() + offset, std::min(kReadSize, stream.size() - offset));
        keep(read);
    }
    return secondsSince(start);
}

// Decoding and copying alternate sample by sample, so both see the same load; a sample that lost
// the processor stands out and the medians leave it aside.
void measure(const std::string& name, size_t payloadSize) {
    const std::vector<uint8_t> stream = frameStream(payloadSize);
    const size_t framesPerStream = stream.size() / encodeMessage({7, 1, 2, std::vector<uint8_t>(payloadSize)}).size();
    const double megabytes = static_cast<double>(stream.size()) / 1e6;
    RingBuffer input;
    size_t messages = 0;
    std::vector<double> decodeRates, copyRates, timeRatios;
    for (int sample = 0; sample < kSamples; ++sample) {
        const double decodeSeconds = decode(stream, input, messages);
        const double copySeconds = copy(stream);
        decodeRates.push_back(megabytes / decodeSeconds);
        copyRates.push_back(megabytes / copySeconds);
        timeRatios.push_back(decodeSeconds / copySeconds);
    }
    if (messages != framesPerStream * kSamples) throw std::runtime_error("frames lost in decoding");
    report("frame_decode_" + name, median(decodeRates), "MB/s");
    report("memcpy_" + name, median(copyRates), "MB/s");
    report("frame_decode_" + name + "_time_vs_memcpy", median(timeRatios), "x");
}

}  // namespace

int main() {
    measure("32B_payloads", 32);
    measure("32KiB_payloads", 32768);
    return 0;
}
