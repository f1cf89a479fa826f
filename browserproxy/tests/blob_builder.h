#pragma once
// Connection settings blobs built field by field, for tests and benchmarks.
#include <algorithm>
#include <cstdint>
#include <string_view>
#include <vector>

namespace brisko::testing {

using Bytes = std::vector<uint8_t>;

struct BlobFields {
    uint32_t version = 0x46;
    uint32_t counter = 5;
    uint32_t flags = 1;
    std::string_view server = {};
    std::string_view bypass = {};
    Bytes tail = {};  // the auto-config URL and what follows, as raw bytes
};

inline void appendU32(Bytes& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

inline Bytes makeBlob(const BlobFields& fields) {
    Bytes out;
    appendU32(out, fields.version);
    appendU32(out, fields.counter);
    appendU32(out, fields.flags);
    appendU32(out, static_cast<uint32_t>(fields.server.size()));
    out.insert(out.end(), fields.server.begin(), fields.server.end());
    appendU32(out, static_cast<uint32_t>(fields.bypass.size()));
    out.insert(out.end(), fields.bypass.begin(), fields.bypass.end());
    out.insert(out.end(), fields.tail.begin(), fields.tail.end());
    return out;
}

// An auto-config URL field (length and text) followed by the zeroed fields Windows keeps after it.
inline Bytes autoConfigTail(std::string_view url, size_t trailingZeros = 32) {
    Bytes out(4 + url.size() + trailingZeros, 0);
    const auto length = static_cast<uint32_t>(url.size());
    for (size_t i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(length >> (8 * i));
    std::copy(url.begin(), url.end(), out.begin() + 4);
    return out;
}

inline uint32_t counterOf(const Bytes& blob) {
    return blob.size() < 8 ? 0 : blob[4] | blob[5] << 8 | blob[6] << 16 | static_cast<uint32_t>(blob[7]) << 24;
}

}  // namespace brisko::testing
