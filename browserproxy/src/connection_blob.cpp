#include "connection_blob.h"

#include <algorithm>

namespace brisko {
namespace {

constexpr size_t kHeaderSize = 16;  // version, counter, flags, N
constexpr size_t kLengthSize = 4;

uint32_t readU32(std::span<const uint8_t> bytes, size_t offset) {
    return static_cast<uint32_t>(bytes[offset]) | static_cast<uint32_t>(bytes[offset + 1]) << 8 |
           static_cast<uint32_t>(bytes[offset + 2]) << 16 | static_cast<uint32_t>(bytes[offset + 3]) << 24;
}

void appendU32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void appendText(std::vector<uint8_t>& out, std::string_view text) { out.insert(out.end(), text.begin(), text.end()); }

bool bytesEqual(std::span<const uint8_t> bytes, std::string_view text) {
    return bytes.size() == text.size() && std::equal(bytes.begin(), bytes.end(), text.begin(),
                                                     [](uint8_t b, char c) { return b == static_cast<uint8_t>(c); });
}

}  // namespace

BlobRewriteResult RewriteConnectionBlob(std::span<const uint8_t> blob, std::optional<std::string_view> proxy) {
    // Lengths are checked in 64 bits: a declared length near 4 GiB must not wrap around.
    if (blob.size() < kHeaderSize) return {BlobRewrite::Malformed, {}};
    const uint64_t serverLength = readU32(blob, 12);
    const uint64_t bypassLengthAt = kHeaderSize + serverLength;
    if (bypassLengthAt + kLengthSize > blob.size()) return {BlobRewrite::Malformed, {}};
    const uint64_t bypassLength = readU32(blob, static_cast<size_t>(bypassLengthAt));
    const uint64_t tailAt = bypassLengthAt + kLengthSize + bypassLength;
    if (tailAt > blob.size()) return {BlobRewrite::Malformed, {}};

    const std::string_view text = proxy.value_or(std::string_view());
    const uint32_t flags = readU32(blob, 8);
    const auto server = blob.subspan(kHeaderSize, static_cast<size_t>(serverLength));
    const auto bypass = blob.subspan(static_cast<size_t>(bypassLengthAt + kLengthSize), static_cast<size_t>(bypassLength));
    if (bytesEqual(server, text) && bytesEqual(bypass, kLocalBypass) && (flags & kProxyTypeProxy))
        return {BlobRewrite::AlreadyRight, {}};

    const auto tail = blob.subspan(static_cast<size_t>(tailAt));
    const std::string_view newBypass = proxy ? kLocalBypass : std::string_view();
    const uint64_t newSize = kHeaderSize + text.size() + kLengthSize + newBypass.size() + tail.size();
    if (newSize >= kBlobSizeLimit) return {BlobRewrite::TooLarge, {}};

    const uint32_t kind = proxy ? kProxyTypeDirect | kProxyTypeProxy : kProxyTypeDirect | kProxyTypeAutoDetect;
    std::vector<uint8_t> out;
    out.reserve(static_cast<size_t>(newSize));
    appendU32(out, readU32(blob, 0));
    appendU32(out, readU32(blob, 4) + 1);
    appendU32(out, (flags & ~0xFu) | kind);
    appendU32(out, static_cast<uint32_t>(text.size()));
    appendText(out, text);
    appendU32(out, static_cast<uint32_t>(newBypass.size()));
    appendText(out, newBypass);
    out.insert(out.end(), tail.begin(), tail.end());
    return {BlobRewrite::Rewritten, std::move(out)};
}

}  // namespace brisko
