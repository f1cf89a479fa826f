#pragma once
// The per-connection proxy settings blob that WinINet keeps under Internet Settings\Connections,
// rewritten as bytes: no registry here. Integers are 32-bit little-endian; strings are 8-bit
// without terminator.
//
//   0   version                      copied
//   4   change counter               old + 1
//   8   flags                        low four bits: 3 (direct + proxy) or 9 (direct + auto-detect)
//   12  N, proxy server text length  new text length
//   16  proxy server text            new text
//   16+N  M, bypass list length      7 ("<local>") or 0
//   20+N  bypass list                "<local>" or nothing
//   20+N+M  everything later (auto-config URL, ...)  copied unchanged
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace brisko {

inline constexpr uint32_t kProxyTypeDirect = 1;
inline constexpr uint32_t kProxyTypeProxy = 2;
inline constexpr uint32_t kProxyTypeAutoProxyUrl = 4;
inline constexpr uint32_t kProxyTypeAutoDetect = 8;
inline constexpr std::string_view kLocalBypass = "<local>";
// The registry layer reads only values below this size, so a blob is never stored at this size or above.
inline constexpr uint64_t kBlobSizeLimit = 1024;

enum class BlobRewrite {
    Rewritten,
    AlreadyRight,  // same proxy text, "<local>" bypass and the proxy bit: left alone
    Malformed,     // shorter than its declared lengths: never read past its end, left alone
    TooLarge,      // the rewrite would reach the registry layer's 1024-byte limit: dropped
};

struct BlobRewriteResult {
    BlobRewrite outcome;
    std::vector<uint8_t> blob;  // the new blob when rewritten
};

// Points the blob at proxy, or clears its proxy when proxy is none.
BlobRewriteResult RewriteConnectionBlob(std::span<const uint8_t> blob, std::optional<std::string_view> proxy);

}  // namespace brisko
