// The per-connection proxy blob from the user's own HKCU: any bytes are either left alone (and
// then only for the reasons the rewrite names) or rewritten into a blob that reads again, carries
// the proxy, keeps the version, the unnamed flag bits and everything after the bypass list, and
// needs no second rewrite for the same proxy.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "connection_blob.h"
#include "fuzz_input.h"

namespace {

using namespace brisko;

uint32_t readU32(std::span<const uint8_t> bytes, size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

// The blob's fields where its declared lengths fit inside it.
struct Fields {
    uint32_t version, counter, flags;
    std::span<const uint8_t> server, bypass, tail;
};

std::optional<Fields> fields(std::span<const uint8_t> blob) {
    if (blob.size() < 16) return std::nullopt;
    const uint64_t n = readU32(blob, 12);
    if (20 + n > blob.size()) return std::nullopt;
    const uint64_t m = readU32(blob, 16 + n);
    if (20 + n + m > blob.size()) return std::nullopt;
    return Fields{readU32(blob, 0), readU32(blob, 4), readU32(blob, 8), blob.subspan(16, n), blob.subspan(20 + n, m),
                  blob.subspan(20 + n + m)};
}

bool same(std::span<const uint8_t> bytes, std::string_view text) {
    return bytes.size() == text.size() && std::equal(bytes.begin(), bytes.end(), text.begin(), [](uint8_t b, char c) {
               return b == static_cast<uint8_t>(c);
           });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const bool setting = input.flag();
    const std::string text = input.narrow();
    const std::vector<uint8_t> blob = input.rest();
    const std::optional<std::string_view> proxy = setting ? std::optional<std::string_view>(text) : std::nullopt;
    const std::string_view wanted = proxy.value_or("");

    const BlobRewriteResult result = RewriteConnectionBlob(blob, proxy);
    const std::optional<Fields> old = fields(blob);
    FUZZ_CHECK((result.outcome == BlobRewrite::Malformed) == !old);
    FUZZ_CHECK(result.blob.empty() || result.outcome == BlobRewrite::Rewritten);
    if (!old) return 0;
    const bool alreadyRight = same(old->server, wanted) && same(old->bypass, kLocalBypass) && (old->flags & kProxyTypeProxy);
    FUZZ_CHECK((result.outcome == BlobRewrite::AlreadyRight) == alreadyRight);
    const size_t newSize = 20 + wanted.size() + (proxy ? kLocalBypass.size() : 0) + old->tail.size();
    FUZZ_CHECK((result.outcome == BlobRewrite::TooLarge) == (!alreadyRight && newSize >= kBlobSizeLimit));
    if (result.outcome != BlobRewrite::Rewritten) return 0;

    FUZZ_CHECK(result.blob.size() == newSize);
    const std::optional<Fields> now = fields(result.blob);
    FUZZ_CHECK(now);
    FUZZ_CHECK(now->version == old->version && now->counter == old->counter + 1);
    FUZZ_CHECK((now->flags & ~0xFu) == (old->flags & ~0xFu));
    FUZZ_CHECK((now->flags & 0xFu) == (proxy ? kProxyTypeDirect | kProxyTypeProxy : kProxyTypeDirect | kProxyTypeAutoDetect));
    FUZZ_CHECK(same(now->server, wanted) && same(now->bypass, proxy ? kLocalBypass : ""));
    FUZZ_CHECK(std::equal(now->tail.begin(), now->tail.end(), old->tail.begin(), old->tail.end()));

    const BlobRewriteResult again = RewriteConnectionBlob(result.blob, proxy);
    FUZZ_CHECK((again.outcome == BlobRewrite::AlreadyRight) == proxy.has_value());
    return 0;
}
