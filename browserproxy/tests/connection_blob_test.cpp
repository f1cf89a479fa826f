// The Connections blob rewrite as bytes in, bytes out.
#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>

#include "blob_builder.h"
#include "connection_blob.h"

namespace brisko::testing {
namespace {

constexpr std::string_view kProxy = "http=127.0.0.1:3128;https=127.0.0.1:3129";
const Bytes kUrlTail = autoConfigTail("http://wpad/proxy.pac");

struct RewriteCase {
    const char* name;
    Bytes in;
    std::optional<std::string_view> proxy;  // none: clear
    BlobRewrite outcome;
    Bytes out;  // when rewritten
};

class RewriteBlobTest : public ::testing::TestWithParam<RewriteCase> {};

TEST_P(RewriteBlobTest, Rewrites) {
    const RewriteCase& c = GetParam();
    const BlobRewriteResult result = RewriteConnectionBlob(c.in, c.proxy);
    EXPECT_EQ(result.outcome, c.outcome);
    EXPECT_EQ(result.blob, c.outcome == BlobRewrite::Rewritten ? c.out : Bytes{});
}

// A blob whose text pushes the rewrite to exactly the given size.
Bytes blobRewritingTo(size_t size, std::string_view proxy) {
    const size_t fixed = 16 + proxy.size() + 4 + 7;
    return makeBlob({.server = "old:1", .bypass = "", .tail = Bytes(size - fixed, 0xAB)});
}

INSTANTIATE_TEST_SUITE_P(
    Blobs, RewriteBlobTest,
    ::testing::Values(
        RewriteCase{"DirectBlobGetsTheProxy", makeBlob({.counter = 5, .flags = 1, .tail = kUrlTail}), kProxy,
                    BlobRewrite::Rewritten,
                    makeBlob({.counter = 6, .flags = 3, .server = kProxy, .bypass = "<local>", .tail = kUrlTail})},
        RewriteCase{"SameProxyAgainIsLeftAlone",
                    makeBlob({.counter = 6, .flags = 3, .server = kProxy, .bypass = "<local>", .tail = kUrlTail}),
                    kProxy, BlobRewrite::AlreadyRight, {}},
        RewriteCase{"SameTextWithoutTheProxyBitIsRewritten",
                    makeBlob({.counter = 6, .flags = 1, .server = kProxy, .bypass = "<local>"}), kProxy,
                    BlobRewrite::Rewritten,
                    makeBlob({.counter = 7, .flags = 3, .server = kProxy, .bypass = "<local>"})},
        RewriteCase{"OtherBypassIsRewritten",
                    makeBlob({.counter = 6, .flags = 3, .server = kProxy, .bypass = "*.lan"}), kProxy,
                    BlobRewrite::Rewritten,
                    makeBlob({.counter = 7, .flags = 3, .server = kProxy, .bypass = "<local>"})},
        RewriteCase{"AutoProxyUrlBitDroppedUrlKept",
                    makeBlob({.flags = 0x5 | 0x8, .server = "", .bypass = "", .tail = kUrlTail}), kProxy,
                    BlobRewrite::Rewritten,
                    makeBlob({.counter = 6, .flags = 3, .server = kProxy, .bypass = "<local>", .tail = kUrlTail})},
        RewriteCase{"HighFlagBitsKept", makeBlob({.flags = 0xF0000006, .server = "a:1", .bypass = "x"}), kProxy,
                    BlobRewrite::Rewritten,
                    makeBlob({.counter = 6, .flags = 0xF0000003, .server = kProxy, .bypass = "<local>"})},
        // Every Windows version writes its own version number; it is copied, never made up.
        RewriteCase{"VersionKeptWhenSetting", makeBlob({.version = 0x3C, .counter = 5, .flags = 1}), kProxy,
                    BlobRewrite::Rewritten,
                    makeBlob({.version = 0x3C, .counter = 6, .flags = 3, .server = kProxy, .bypass = "<local>"})},
        RewriteCase{"VersionKeptWhenClearing",
                    makeBlob({.version = 0x12345678, .counter = 6, .flags = 3, .server = kProxy, .bypass = "<local>"}),
                    std::nullopt, BlobRewrite::Rewritten, makeBlob({.version = 0x12345678, .counter = 7, .flags = 9})},
        RewriteCase{"CounterWrapsAround", makeBlob({.counter = 0xFFFFFFFF}), kProxy, BlobRewrite::Rewritten,
                    makeBlob({.counter = 0, .flags = 3, .server = kProxy, .bypass = "<local>"})},
        RewriteCase{"ClearingRemovesTheProxy",
                    makeBlob({.counter = 6, .flags = 3, .server = kProxy, .bypass = "<local>", .tail = kUrlTail}),
                    std::nullopt, BlobRewrite::Rewritten,
                    makeBlob({.counter = 7, .flags = 9, .server = "", .bypass = "", .tail = kUrlTail})},
        RewriteCase{"ClearingAClearedBlobRewritesItAgain", makeBlob({.counter = 7, .flags = 9}), std::nullopt,
                    BlobRewrite::Rewritten, makeBlob({.counter = 8, .flags = 9})},
        RewriteCase{"ClearingLeavesEmptyLocalProxyBlobAlone",
                    makeBlob({.counter = 7, .flags = 3, .server = "", .bypass = "<local>"}), std::nullopt,
                    BlobRewrite::AlreadyRight, {}},
        RewriteCase{"RewriteOf1023BytesIsStored", blobRewritingTo(1023, kProxy), kProxy, BlobRewrite::Rewritten,
                    makeBlob({.counter = 6, .flags = 3, .server = kProxy, .bypass = "<local>",
                              .tail = Bytes(1023 - 16 - kProxy.size() - 4 - 7, 0xAB)})},
        RewriteCase{"RewriteReaching1024BytesIsDropped", blobRewritingTo(1024, kProxy), kProxy, BlobRewrite::TooLarge,
                    {}},
        RewriteCase{"EmptyBlob", {}, kProxy, BlobRewrite::Malformed, {}},
        RewriteCase{"HeaderCutShort", Bytes(15, 0), kProxy, BlobRewrite::Malformed, {}},
        RewriteCase{"NoBypassLength", Bytes(16, 0), kProxy, BlobRewrite::Malformed, {}},
        RewriteCase{"ServerLongerThanTheBlob",
                    [] {
                        Bytes b = makeBlob({.server = "abc", .bypass = ""});
                        b[12] = 40;
                        return b;
                    }(),
                    kProxy, BlobRewrite::Malformed, {}},
        RewriteCase{"BypassLongerThanTheBlob",
                    [] {
                        Bytes b = makeBlob({.server = "abc", .bypass = "<local>"});
                        b.pop_back();
                        return b;
                    }(),
                    kProxy, BlobRewrite::Malformed, {}},
        RewriteCase{"LengthsThatWouldWrap",
                    [] {
                        Bytes b = makeBlob({.server = "", .bypass = ""});
                        b[12] = b[13] = b[14] = b[15] = 0xFF;  // 16 + N wraps a 32-bit offset
                        return b;
                    }(),
                    kProxy, BlobRewrite::Malformed, {}}),
    [](const auto& info) { return std::string(info.param.name); });

// Random and truncated blobs never crash the rewrite, and whatever is rewritten comes out
// well-formed: setting the same proxy again leaves it alone.
TEST(RewriteBlob, RandomAndTruncatedBlobsAreHandled) {
    std::mt19937 random(20240611);
    const Bytes valid = makeBlob({.flags = 3, .server = "a:1", .bypass = "<local>", .tail = kUrlTail});
    auto check = [](const Bytes& blob) {
        for (const auto proxy : {std::optional<std::string_view>(kProxy), std::optional<std::string_view>()}) {
            const BlobRewriteResult result = RewriteConnectionBlob(blob, proxy);
            if (result.outcome != BlobRewrite::Rewritten) continue;
            ASSERT_LT(result.blob.size(), 1024u);
            const BlobRewrite again = RewriteConnectionBlob(result.blob, proxy).outcome;
            EXPECT_EQ(again, proxy ? BlobRewrite::AlreadyRight : BlobRewrite::Rewritten);
        }
    };
    for (size_t length = 0; length <= valid.size(); ++length) check(Bytes(valid.begin(), valid.begin() + length));
    for (int round = 0; round < 5000; ++round) {
        Bytes blob(random() % 80);
        for (uint8_t& byte : blob) byte = static_cast<uint8_t>(random() % 4 == 0 ? random() : random() % 12);
        check(blob);
    }
}

}  // namespace
}  // namespace brisko::testing
