// What ApplyUserProxy decides from the values it reads, without the registry.
#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

#include "blob_builder.h"
#include "user_proxy_values.h"

namespace brisko::testing {
namespace {

constexpr char kProxy[] = "http=127.0.0.1:3128";
constexpr wchar_t kWideProxy[] = L"http=127.0.0.1:3128";

TEST(UserProxyValues, InternetSettingsFollowTheRequest) {
    const InternetSettingsValues set = InternetSettingsFor({kProxy, kWideProxy});
    ASSERT_NE(set.proxyServer, nullptr);
    EXPECT_STREQ(set.proxyServer, kWideProxy);
    EXPECT_STREQ(set.proxyOverride, L"<local>");
    EXPECT_EQ(set.proxyEnable, 1u);

    const InternetSettingsValues clear = InternetSettingsFor({});
    EXPECT_EQ(clear.proxyServer, nullptr) << "ProxyServer and ProxyOverride are deleted";
    EXPECT_EQ(clear.proxyOverride, nullptr);
    EXPECT_EQ(clear.proxyEnable, 0u);
}

TEST(UserProxyValues, OnlyTheExactLegacyNameIsLeftUnread) {
    EXPECT_FALSE(IsRewrittenConnectionSetting(L"SavedLegacySettings"));
    EXPECT_TRUE(IsRewrittenConnectionSetting(L"savedlegacysettings"));
    EXPECT_TRUE(IsRewrittenConnectionSetting(L"DefaultConnectionSettings"));
}

TEST(UserProxyValues, AnUpdateOnlyForABlobThatNeedsOne) {
    const Bytes direct = makeBlob({});
    const auto update = ConnectionSettingUpdate(direct, {kProxy, kWideProxy});
    ASSERT_TRUE(update);
    EXPECT_EQ(*update, makeBlob({.counter = 6, .flags = 3, .server = kProxy, .bypass = "<local>"}));
    EXPECT_FALSE(ConnectionSettingUpdate(*update, {kProxy, kWideProxy})) << "already right";
    EXPECT_FALSE(ConnectionSettingUpdate(Bytes(15, 0), {})) << "malformed";
}

TEST(UserProxyValues, OffersEachNameThenTheActiveEntryOnceIfUnseen) {
    std::vector<std::wstring> offered;
    const auto record = [&](const wchar_t* name) {
        offered.emplace_back(name);
        return static_cast<long>(offered.size());
    };
    ConnectionOffers unseen(L"Mobile", record);
    unseen.offer(L"VPN");
    unseen.offer(L"mobile");
    unseen.offerUnseenActive();
    EXPECT_EQ(offered, (std::vector<std::wstring>{L"VPN", L"mobile", L"Mobile"}));
    EXPECT_EQ(unseen.result(), 3);

    offered.clear();
    ConnectionOffers seen(L"VPN", record);
    seen.offer(L"VPN");
    seen.offerUnseenActive();
    EXPECT_EQ(offered, std::vector<std::wstring>{L"VPN"});
}

}  // namespace
}  // namespace brisko::testing
