#pragma once
// What ApplyUserProxy decides from what it reads in a user root, apart from the registry: the
// order in which the connection settings are offered, the new bytes of each blob and the values
// of the Internet Settings key. The user writes every value read here himself.
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace brisko {

// The proxy list twice: 8-bit as stored in the connection blobs, UTF-16 as stored in
// "ProxyServer". Null in both means no proxy. The list's syntax is the caller's.
struct ProxySettings {
    const char* narrowProxy = nullptr;
    const wchar_t* wideProxy = nullptr;
};

// ForEachConnectionSetting's order: each name as it comes (the phone-book entries, then the
// values of the Connections key), then the active dial-up entry once more if it never came.
class ConnectionOffers {
public:
    using Visit = std::function<long(const wchar_t* name)>;

    // active is the active dial-up entry or null; it outlives the offers.
    ConnectionOffers(const wchar_t* active, Visit visit) : active_(active), visit_(std::move(visit)) {}

    void offer(const wchar_t* name);
    void offerUnseenActive();
    // The last visit's answer; 0 before the first.
    long result() const { return result_; }

private:
    const wchar_t* active_;
    Visit visit_;
    bool activeSeen_ = false;
    long result_ = 0;
};

// False for "SavedLegacySettings" (exact case), which is never read or written.
bool IsRewrittenConnectionSetting(const wchar_t* name);

// The blob to store in place of one read under Connections, or none to leave it as it is:
// already right, malformed, or rewritten to 1024 bytes or more.
std::optional<std::vector<uint8_t>> ConnectionSettingUpdate(std::span<const uint8_t> blob,
                                                            const ProxySettings& settings);

// The values of the Internet Settings key. With a proxyServer, "ProxyServer" and "ProxyOverride"
// are written; without, both are deleted.
struct InternetSettingsValues {
    const wchar_t* proxyServer = nullptr;
    const wchar_t* proxyOverride = nullptr;
    uint32_t proxyEnable = 0;
};
InternetSettingsValues InternetSettingsFor(const ProxySettings& settings);

}  // namespace brisko
