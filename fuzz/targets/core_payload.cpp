// The payloads of the core's notifications, from whatever holds the core's port: every kind of
// notification decodes any bytes to its values, to "ends early" or to a type error and nothing
// else; no allocation is larger than the payload could fill; and values packed the way the core
// packs them come back as they were.
#include <sanitizer/allocator_interface.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include <msgpack.hpp>

#include "core_link/notification_payloads.h"
#include "core_link/payload_reader.h"
#include "fuzz_input.h"

namespace {

size_t largestAllocation = 0;

void noteAllocation(const volatile void*, size_t size) { largestAllocation = std::max(largestAllocation, size); }
void noteFree(const volatile void*) {}

// What msgpack needs whatever the payload holds: a zone chunk and its own bookkeeping.
constexpr size_t kFixedAllowance = 16 * 1024;

template <typename Decode>
void decodeAny(const std::vector<uint8_t>& payload, Decode decode) {
    largestAllocation = 0;
    try {
        decode(payload);
    } catch (const msgpack::type_error&) {
        // a value of the wrong type: the connection drops the link
    }
    FUZZ_CHECK(largestAllocation <= kFixedAllowance + payload.size() * sizeof(msgpack::object_kv));
}

template <typename... Values>
std::vector<uint8_t> pack(const Values&... values) {
    msgpack::sbuffer buffer;
    msgpack::packer<msgpack::sbuffer> packer(buffer);
    (packer.pack(values), ...);
    const auto* bytes = reinterpret_cast<const uint8_t*>(buffer.data());
    return {bytes, bytes + buffer.size()};
}

void packHost(msgpack::packer<msgpack::sbuffer>& packer, const std::string& host) {
    if (host.empty()) packer.pack_nil(); else packer.pack(host);
}

void roundTrips(FuzzInput& input) {
    const bool enabled = input.flag();
    const auto remaining = static_cast<int64_t>(input.u64());
    const std::string first = input.narrow(), name = input.narrow(), http = input.narrow(), https = input.narrow();
    const int httpPort = input.i32(), httpsPort = input.i32();

    const brisko::ProtectionStatusPayload status = brisko::readProtectionStatus(pack(enabled, remaining));
    FUZZ_CHECK(status.enabled == enabled && status.remainingMs == remaining);

    const auto blocked = brisko::readApplicationBlocked(pack(first, name, remaining));
    FUZZ_CHECK(blocked && blocked->name == name && blocked->reason == remaining);

    msgpack::sbuffer buffer;
    msgpack::packer<msgpack::sbuffer> packer(buffer);
    packHost(packer, http);
    packer.pack(httpPort);
    packHost(packer, https);
    packer.pack(httpsPort);
    const auto* bytes = reinterpret_cast<const uint8_t*>(buffer.data());
    const auto proxy = brisko::readProxyConfiguration({bytes, bytes + buffer.size()});
    FUZZ_CHECK(proxy && proxy->httpHost == http && proxy->httpPort == httpPort && proxy->httpsHost == https &&
               proxy->httpsPort == httpsPort);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    __sanitizer_install_malloc_and_free_hooks(noteAllocation, noteFree);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> payload(data, data + size);
    // Every value in turn, as a notification of some later kind would read them.
    decodeAny(payload, [](const auto& p) {
        brisko::PayloadReader reader(p);
        try {
            for (;;) reader.next();
        } catch (const msgpack::unpack_error&) {
        }
    });
    decodeAny(payload, [](const auto& p) {
        const brisko::ProtectionStatusPayload status = brisko::readProtectionStatus(p);
        FUZZ_CHECK(status.enabled || !status.remainingMs);
    });
    decodeAny(payload, [](const auto& p) { brisko::readApplicationBlocked(p); });
    decodeAny(payload, [](const auto& p) { brisko::readProxyConfiguration(p); });

    FuzzInput input(data, size);
    roundTrips(input);
    return 0;
}
