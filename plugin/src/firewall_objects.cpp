#include "firewall_objects.h"

#include <cstddef>

namespace brisko {
namespace {

#if defined(__i386__)
// The engine reads these structures as the 32-bit Windows SDK lays them out (64-bit members
// aligned to 8); the cross toolchain's headers must agree.
static_assert(sizeof(FWPM_SESSION0) == 48);
static_assert(sizeof(FWPM_PROVIDER0) == 40);
static_assert(sizeof(FWPM_FILTER_CONDITION0) == 28);
static_assert(sizeof(FWPM_FILTER0) == 152 && offsetof(FWPM_FILTER0, rawContext) == 112 &&
              offsetof(FWPM_FILTER0, filterId) == 136);
#endif

// Not declared by the cross toolchain's headers.
constexpr UINT32 kProviderFlagPersistent = 0x00000001;
constexpr UINT32 kFilterFlagPersistent = 0x00000001;
constexpr UINT32 kFilterFlagClearActionRight = 0x00000008;

// Not in the toolchain's import libraries, and FWPUCLNT.DLL is never linked: keys by value.
constexpr GUID kLayerAleAuthRecvAcceptV4{0xE1CD9FE7, 0xF4B5, 0x4273, {0x96, 0xC0, 0x59, 0x2E, 0x48, 0x7B, 0x86, 0x50}};
constexpr GUID kConditionFlags{0x632CE23B, 0x5167, 0x435C, {0x86, 0xD7, 0xE9, 0x03, 0x68, 0x4A, 0xA8, 0x0C}};
constexpr GUID kConditionIpLocalPort{0x0C1BA1AF, 0x5765, 0x453F, {0xAF, 0x22, 0xA8, 0xF7, 0x91, 0xAC, 0x77, 0x5B}};

// The engine takes these as non-const pointers but never writes through them.
wchar_t* Text(const wchar_t* text) { return const_cast<wchar_t*>(text); }
GUID* Key(const GUID& key) { return const_cast<GUID*>(&key); }

}  // namespace

FWPM_SESSION0 SetupSession() {
    FWPM_SESSION0 session{};
    session.displayData.name = Text(L"Parental Control Setup");
    session.flags = 0;
    session.txnWaitTimeoutInMSec = INFINITE;
    return session;
}

FWPM_PROVIDER0 LocalProxyProvider() {
    FWPM_PROVIDER0 provider{};
    provider.providerKey = kProviderKey;
    provider.displayData.name = Text(L"Parental Control Provider");
    provider.flags = kProviderFlagPersistent;
    return provider;
}

LocalProxyFilter::LocalProxyFilter(const GUID& key, std::uint16_t port) {
    conditions[0].fieldKey = kConditionFlags;
    conditions[0].matchType = FWP_MATCH_FLAGS_ALL_SET;
    conditions[0].conditionValue.type = FWP_UINT32;
    conditions[0].conditionValue.uint32 = FWP_CONDITION_FLAG_IS_LOOPBACK;
    conditions[1].fieldKey = kConditionIpLocalPort;
    conditions[1].matchType = FWP_MATCH_EQUAL;
    conditions[1].conditionValue.type = FWP_UINT16;
    conditions[1].conditionValue.uint16 = port;

    filter.filterKey = key;
    filter.displayData.name = Text(L"Parental Control Local Proxy");
    filter.displayData.description = Text(L"Parental Control Proxy Connection");
    // Lower-priority sublayers may not take the permission back.
    filter.flags = kFilterFlagPersistent | kFilterFlagClearActionRight;
    filter.providerKey = Key(kProviderKey);
    filter.layerKey = kLayerAleAuthRecvAcceptV4;
    filter.weight.type = FWP_EMPTY;  // the engine assigns the weight
    filter.numFilterConditions = static_cast<UINT32>(conditions.size());
    filter.filterCondition = conditions.data();
    filter.action.type = FWP_ACTION_PERMIT;
}

}  // namespace brisko
