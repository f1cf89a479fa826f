#pragma once
// The objects the plug-in registers with the filtering engine: a persistent provider and up to
// two persistent filters that permit inbound IPv4 loopback connections to the local proxy's ports.
#include <winsock2.h>
#include <windows.h>

#include <fwpmu.h>

#include <array>
#include <cstdint>

namespace brisko {

inline constexpr GUID kProviderKey{0x405C1382, 0xF428, 0x4B19, {0x9E, 0x35, 0x6D, 0xCA, 0xC2, 0x32, 0xF0, 0x72}};
inline constexpr GUID kFirstFilterKey{0x23A57A92, 0x3222, 0x4F0A, {0x81, 0x7F, 0x73, 0x7E, 0x4C, 0x66, 0x27, 0x43}};
inline constexpr GUID kSecondFilterKey{0x6F566593, 0x1854, 0x46BC, {0xB1, 0x40, 0x47, 0xEF, 0xC7, 0x54, 0x31, 0x23}};

// The engine session of one export call: not dynamic, so what it adds outlives it.
FWPM_SESSION0 SetupSession();

FWPM_PROVIDER0 LocalProxyProvider();

// A filter and the conditions it points at, kept together so the pointer stays valid.
struct LocalProxyFilter {
    LocalProxyFilter(const GUID& key, std::uint16_t port);
    LocalProxyFilter(const LocalProxyFilter&) = delete;
    LocalProxyFilter& operator=(const LocalProxyFilter&) = delete;

    std::array<FWPM_FILTER_CONDITION0, 2> conditions{};
    FWPM_FILTER0 filter{};
};

}  // namespace brisko
