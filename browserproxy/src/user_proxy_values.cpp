#include "user_proxy_values.h"

#include <cwchar>
#include <string_view>

#include "connection_blob.h"

namespace brisko {
namespace {

constexpr wchar_t kSavedLegacySettings[] = L"SavedLegacySettings";
constexpr wchar_t kLocalBypassWide[] = L"<local>";

}  // namespace

void ConnectionOffers::offer(const wchar_t* name) {
    if (active_ && std::wcscmp(name, active_) == 0) activeSeen_ = true;
    result_ = visit_(name);
}

void ConnectionOffers::offerUnseenActive() {
    if (active_ && !activeSeen_) result_ = visit_(active_);
}

bool IsRewrittenConnectionSetting(const wchar_t* name) { return std::wcscmp(name, kSavedLegacySettings) != 0; }

std::optional<std::vector<uint8_t>> ConnectionSettingUpdate(std::span<const uint8_t> blob,
                                                            const ProxySettings& settings) {
    const auto proxy = settings.narrowProxy ? std::optional<std::string_view>(settings.narrowProxy) : std::nullopt;
    BlobRewriteResult rewrite = RewriteConnectionBlob(blob, proxy);
    if (rewrite.outcome != BlobRewrite::Rewritten) return std::nullopt;
    return std::move(rewrite.blob);
}

InternetSettingsValues InternetSettingsFor(const ProxySettings& settings) {
    InternetSettingsValues values;
    if (settings.narrowProxy) {
        values.proxyServer = settings.wideProxy ? settings.wideProxy : L"";
        values.proxyOverride = kLocalBypassWide;
    }
    values.proxyEnable = settings.wideProxy ? 1 : 0;
    return values;
}

}  // namespace brisko
