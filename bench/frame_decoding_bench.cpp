// Decoding received frames next to a bare memcpy of the same bytes, and next to msgpack-c's own
// unpacking of the same payloads. Decoding takes the stream in the connection's 2048-byte reads,
// appends each read to the input ring and takes every complete message off it, as the
// connection's receive path does; against msgpack-c it also reads every MessagePack value of
// each payload, as the message handlers do, while msgpack-c unpacks the same values from the
// payloads as they lie in memory, so that ratio is what the framing adds. Figures for small
// frames (notifications) and for the largest payload the protocol allows; each payload byte
// (0x5a) is one MessagePack value.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_report.h"
#include "core_link/frame_codec.h"
#include "core_link/payload_reader.h"
#include "core_link/ring_buffer.h"

namespace {

using namespace brisko;
using namespace brisko::bench;

// Small enough to stay in the cache, as just-received bytes are: both sides measure the work
// done on the bytes, not the memory bus.
constexpr size_t kStreamBytes = 256 << 10;
constexpr size_t kReadSize = 2048;
constexpr int kSamples = 50;

// Whole frames, at least kStreamBytes of them.
std::vector<uint8_t> frameStream(size_t payloadSize) {
    const std::vector<uint8_t> frame = encodeMessage({7, 1, 2, std::vector<uint8_t>(payloadSize, 0x5a)});
    std::vector<uint8_t> stream;
    while (stream.size() < kStreamBytes) stream.insert(stream.end(), frame.begin(), frame.end());
    return stream;
}

// Seconds to take the stream in reads and decode every message, and with readValues every value
// of its payload; the ring is kept from one call to the next, as the connection keeps its own.
double decode(const std::vector<uint8_t>& stream, RingBuffer& input, size_t& messages, bool readValues) {
    const auto start = Clock::now();
    for (size_t offset = 0; offset < stream.size(); offset += kReadSize) {
        input.append(stream.data() + offset, static_cast<uint32_t>(std::min(kReadSize, stream.size() - offset)));
        while (const auto message = parseMessage(input)) {
            keep(message->payload.data());
            if (readValues) {
                PayloadReader values(message->payload);
                for (size_t value = 0; value < message->payload.size(); ++value)
                    keep(values.next().get().via.array.ptr);
            }
            ++messages;
        }
    }
    return secondsSince(start);
}

// msgpack-c unpacking every value of every payload, each payload whole in memory.
double unpack(const std::vector<std::vector<uint8_t>>& payloads) {
    const auto start = Clock::now();
    for (const std::vector<uint8_t>& payload : payloads) {
        const char* data = reinterpret_cast<const char*>(payload.data());
        size_t offset = 0;
        while (offset < payload.size()) keep(msgpack::unpack(data, payload.size(), offset).get().via.array.ptr);
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
void measure(const std::string& name, const std::string& shortName, size_t payloadSize) {
    const std::vector<uint8_t> stream = frameStream(payloadSize);
    const size_t framesPerStream = stream.size() / encodeMessage({7, 1, 2, std::vector<uint8_t>(payloadSize)}).size();
    const double megabytes = static_cast<double>(stream.size()) / 1e6;
    RingBuffer input;
    size_t messages = 0;
    const std::vector<std::vector<uint8_t>> payloads(framesPerStream, std::vector<uint8_t>(payloadSize, 0x5a));
    std::vector<double> decodeRates, copyRates, unpackRates, timeRatios, unpackRatios;
    for (int sample = 0; sample < kSamples; ++sample) {
        const double decodeSeconds = decode(stream, input, messages, false);
        const double copySeconds = copy(stream);
        const double readSeconds = decode(stream, input, messages, true);
        const double unpackSeconds = unpack(payloads);
        decodeRates.push_back(megabytes / decodeSeconds);
        copyRates.push_back(megabytes / copySeconds);
        unpackRates.push_back(megabytes / unpackSeconds);
        timeRatios.push_back(decodeSeconds / copySeconds);
        unpackRatios.push_back(readSeconds / unpackSeconds);
    }
    if (messages != 2 * framesPerStream * kSamples) throw std::runtime_error("frames lost in decoding");
    report("frame_decode_" + name, median(decodeRates), "MB/s");
    report("memcpy_" + name, median(copyRates), "MB/s");
    report("frame_decode_" + name + "_time_vs_memcpy", median(timeRatios), "x");
    report("msgpack_unpack_" + name, median(unpackRates), "MB/s");
    report("frame_decode_" + shortName + "_time_vs_msgpack", median(unpackRatios), "x");
}

}  // namespace

int main() {
    measure("32B_payloads", "32B", 32);
    measure("32KiB_payloads", "32KiB", 32768);
    return 0;
}
