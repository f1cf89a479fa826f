// The service RPC client in this process, where no service runs: binding needs no server, and
// every call that cannot reach one is caught, drops the list and reports the service lost.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <utility>
#include <vector>

#include "service_rpc/activity_monitor.h"
#include "service_rpc/binding_security.h"

namespace brisko {
namespace {

// A window monitor whose reports the test makes itself.
class ScriptedMonitor : public UIA::MonitorControl {
public:
    explicit ScriptedMonitor(std::vector<std::string>& log) : log_(log) {}
    void start() override { log_.push_back("start"); }
    void stop() override { log_.push_back("stop"); }

private:
    std::vector<std::string>& log_;
};

class ActivityMonitorTest : public ::testing::Test {
protected:
    // The reports of a lost service since the last look.
    int takeQuitRequests() { return std::exchange(lost, 0); }

    std::vector<std::string> log;
    UIA::ActivityMonitor* listener = nullptr;
    int lost = 0;
    ActivityMonitor activity{[this](UIA::ActivityMonitor& l) {
                                 listener = &l;
                                 return std::make_unique<ScriptedMonitor>(log);
                             },
                             [this] { ++lost; }};
};

TEST_F(ActivityMonitorTest, BindsWithoutAServiceAndRunsTheMonitorBetweenStartAndStop) {
    activity.start();
    EXPECT_EQ(listener, &activity);
    EXPECT_EQ(takeQuitRequests(), 0) << "a static endpoint binds without asking the service";
    activity.stop();
    EXPECT_EQ(log, (std::vector<std::string>{"start", "stop"}));
    EXPECT_EQ(takeQuitRequests(), 0) << "no list, nothing to close";
}

TEST_F(ActivityMonitorTest, CallsToAStoppedServiceOrWithAClosedListEndTheAgent) {
    activity.start();
    listener->reportInitial({{42, L"win32:a.exe", L"A"}, {43, L"", L""}});
    EXPECT_FALSE(activity.listOpen());
    EXPECT_EQ(takeQuitRequests(), 1) << "the service is not there";

    listener->reportStarted(44, L"win32:b.exe", L"B");
    EXPECT_EQ(takeQuitRequests(), 1) << "a report without a list fails the same way";
    listener->reportStopped(44, L"win32:b.exe", L"B");
    EXPECT_EQ(takeQuitRequests(), 1);

    activity.stop();
    EXPECT_EQ(takeQuitRequests(), 0);
    EXPECT_FALSE(activity.listOpen());
}

// What the binding asks of RpcBindingSetAuthInfoExW, as Windows receives it: the one call of the
// Windows-only path, seen through a stand-in.
struct AuthInfoCall {
    RPC_BINDING_HANDLE binding = nullptr;
    bool principalGiven = true;
    unsigned long level = 0, service = 0, authorization = 0;
    bool identityGiven = true;
    RPC_SECURITY_QOS_V3_W quality{};
    bool serverIsLocalSystem = false;
};
AuthInfoCall lastCall;
RPC_STATUS answer = RPC_S_OK;

RPC_STATUS RPC_ENTRY recordAuthInfo(RPC_BINDING_HANDLE binding, RPC_WSTR principal, unsigned long level,
                                    unsigned long service, RPC_AUTH_IDENTITY_HANDLE identity, unsigned long authorization,
                                    RPC_SECURITY_QOS* quality) {
    lastCall = {binding, principal != nullptr, level, service, authorization, identity != nullptr, {}, false};
    if (!quality) return answer;
    lastCall.quality = *reinterpret_cast<RPC_SECURITY_QOS_V3_W*>(quality);
    lastCall.serverIsLocalSystem = lastCall.quality.Sid && ::IsWellKnownSid(lastCall.quality.Sid, WinLocalSystemSid);
    return answer;
}

TEST(BindingSecurity, AsksForPrivacyAndAServerThatIsLocalSystem) {
    answer = RPC_S_OK;
    const auto binding = reinterpret_cast<RPC_BINDING_HANDLE>(0x1234);
    EXPECT_EQ(authenticateBinding(binding, &recordAuthInfo), BindingAuthentication::Authenticated);
    EXPECT_EQ(lastCall.binding, binding);
    EXPECT_EQ(lastCall.level, static_cast<unsigned long>(RPC_C_AUTHN_LEVEL_PKT_PRIVACY));
    EXPECT_EQ(lastCall.service, static_cast<unsigned long>(RPC_C_AUTHN_WINNT));
    EXPECT_EQ(lastCall.authorization, static_cast<unsigned long>(RPC_C_AUTHZ_NONE));
    EXPECT_FALSE(lastCall.principalGiven) << "the server is named by its SID";
    EXPECT_FALSE(lastCall.identityGiven) << "the agent's own account";
    EXPECT_EQ(lastCall.quality.Version, static_cast<unsigned long>(RPC_C_SECURITY_QOS_VERSION_3));
    EXPECT_EQ(lastCall.quality.Capabilities, static_cast<unsigned long>(RPC_C_QOS_CAPABILITIES_MUTUAL_AUTH));
    EXPECT_EQ(lastCall.quality.IdentityTracking, static_cast<unsigned long>(RPC_C_QOS_IDENTITY_STATIC));
    EXPECT_EQ(lastCall.quality.ImpersonationType, static_cast<unsigned long>(RPC_C_IMP_LEVEL_IDENTIFY));
    EXPECT_TRUE(lastCall.serverIsLocalSystem);
}

// The rule the service applies to its own registration: no Windows authentication on this
// platform, the binding as it is; any other refusal, no binding.
TEST(BindingSecurity, KeepsThePlainBindingOnlyWhereWindowsAuthenticationIsNotOffered) {
    const std::pair<RPC_STATUS, BindingAuthentication> cases[] = {
        {RPC_S_OK, BindingAuthentication::Authenticated},
        {RPC_S_UNKNOWN_AUTHN_SERVICE, BindingAuthentication::NotOffered},
        {RPC_S_SEC_PKG_ERROR, BindingAuthentication::Failed},
        {RPC_S_INVALID_BINDING, BindingAuthentication::Failed},
        {ERROR_ACCESS_DENIED, BindingAuthentication::Failed},
    };
    for (const auto& [status, outcome] : cases) {
        answer = status;
        EXPECT_EQ(authenticateBinding(nullptr, &recordAuthInfo), outcome) << status;
    }
}

// This platform's own answer, from a binding to the service's endpoint (Wine: 1747, "unknown
// authentication service", so the agent keeps its plain binding and still binds).
TEST(BindingSecurity, ThisPlatformEitherAuthenticatesOrOffersNoWindowsAuthentication) {
    wchar_t text[] = L"ncalrpc:[com.brisko.harbee]";
    UniqueRpcBinding binding;
    ASSERT_EQ(::RpcBindingFromStringBindingW(reinterpret_cast<RPC_WSTR>(text), binding.put()), RPC_S_OK);
    const BindingAuthentication outcome = authenticateBinding(binding.get());
    EXPECT_NE(outcome, BindingAuthentication::Failed);
    std::printf("this platform's binding: %s\n", outcome == BindingAuthentication::Authenticated ? "authenticated"
                                                                                                  : "Windows authentication not offered");
}

}  // namespace
}  // namespace brisko
