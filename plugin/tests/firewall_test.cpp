// InstallProvider and UninstallProvider through the loaded plug-in, against the recording
// FWPUCLNT.DLL in the prefix's system folder: every engine call with every field, and what the
// engine holds afterwards.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "firewall_double.h"
#include "support_library.h"

namespace brisko::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

using Lines = std::vector<std::string>;

constexpr char kProviderKey[] = "{405C1382-F428-4B19-9E35-6DCAC232F072}";
constexpr char kFirstFilterKey[] = "{23A57A92-3222-4F0A-817F-737E4C662743}";
constexpr char kSecondFilterKey[] = "{6F566593-1854-46BC-B140-47EFC7543123}";
constexpr char kZeroKey[] = "{00000000-0000-0000-0000-000000000000}";

constexpr DWORD kAlreadyExists = 0x80320009;
constexpr DWORD kFilterNotFound = 0x80320003;
constexpr DWORD kProviderNotFound = 0x80320005;

std::string Result(DWORD result) {
    char text[16];
    std::snprintf(text, sizeof(text), " -> 0x%lX", static_cast<unsigned long>(result));
    return text;
}

std::string Engine(int engine) { return "engine=#" + std::to_string(engine); }

std::string Open(DWORD result = 0) {
    return std::string("FwpmEngineOpen0 server=null authn=0xFFFFFFFF identity=null session={key=") + kZeroKey +
           " name=\"Parental Control Setup\" description=null flags=0x0 txnWait=0xFFFFFFFF processId=0 sid=null"
           " username=null kernelMode=0}" +
           Result(result);
}
std::string Begin(int engine = 1, DWORD result = 0) {
    return "FwpmTransactionBegin0 " + Engine(engine) + " flags=0x0" + Result(result);
}
std::string Commit(int engine = 1, DWORD result = 0) { return "FwpmTransactionCommit0 " + Engine(engine) + Result(result); }
std::string Abort(int engine = 1) { return "FwpmTransactionAbort0 " + Engine(engine) + Result(0); }
std::string Close(int engine = 1) { return "FwpmEngineClose0 " + Engine(engine) + Result(0); }

std::string AddProvider(int engine = 1, DWORD result = 0) {
    return "FwpmProviderAdd0 " + Engine(engine) + " provider={key=" + kProviderKey +
           " name=\"Parental Control Provider\" description=null flags=0x1 data=0:null serviceName=null} sd=null" +
           Result(result);
}

// Permit inbound IPv4 loopback connections to the port, persistently, with the action right
// cleared so that lower-priority sublayers cannot veto it.
std::string AddFilter(const char* key, int port, int engine = 1, DWORD result = 0) {
    return "FwpmFilterAdd0 " + Engine(engine) + " filter={key=" + key +
           " name=\"Parental Control Local Proxy\" description=\"Parental Control Proxy Connection\" flags=0x9"
           " provider=" + kProviderKey + " data=0:null layer={E1CD9FE7-F4B5-4273-96C0-592E487B8650} sublayer=" +
           kZeroKey + " weight=FWP_EMPTY conditions=2[{632CE23B-5167-435C-86D7-E903684AA80C} match=6 FWP_UINT32:1, "
           "{0C1BA1AF-5765-453F-AF22-A8F791AC775B} match=0 FWP_UINT16:" + std::to_string(port) +
           "] action=0x1002 actionKey=" + kZeroKey + " context=" + kZeroKey +
           " reserved=null filterId=0 effectiveWeight=FWP_EMPTY} sd=null id=null" + Result(result);
}

std::string DeleteFilter(const char* key, int engine = 1, DWORD result = 0) {
    return "FwpmFilterDeleteByKey0 " + Engine(engine) + " key=" + key + Result(result);
}
std::string DeleteProvider(int engine = 1, DWORD result = 0) {
    return "FwpmProviderDeleteByKey0 " + Engine(engine) + " key=" + kProviderKey + Result(result);
}

std::string ProviderHeld() { return std::string("provider ") + kProviderKey; }
std::string FilterHeld(const char* key, int port) { return std::string("filter ") + key + " port " + std::to_string(port); }

class Firewall : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(support.loaded());
        support.uninstallProvider();  // the first firewall call loads the library
        ASSERT_TRUE(engine.loaded()) << "the plug-in did not load the double: " << FirewallDouble::path();
        ASSERT_TRUE(FirewallDouble::inSystemFolder()) << FirewallDouble::path();
        engine.reset();
    }

    // Installs both filters and forgets the calls that did it.
    void InstallBoth() {
        ASSERT_EQ(support.installProvider(3128, 3129), 0u);
        ASSERT_EQ(engine.contents(), BothInstalled());
        engine.forgetCalls();
    }

    static Lines BothInstalled() {
        return {ProviderHeld(), FilterHeld(kFirstFilterKey, 3128), FilterHeld(kSecondFilterKey, 3129)};
    }

    SupportLibrary support;
    FirewallDouble engine;
};

struct PortsCase {
    const char* name;
    DWORD first;
    DWORD second;
    Lines filterCalls;
    Lines filtersHeld;
};

class InstallPorts : public Firewall, public ::testing::WithParamInterface<PortsCase> {};

TEST_P(InstallPorts, AddsTheProviderAndAFilterPerPortInOneTransaction) {
    const PortsCase& c = GetParam();
    EXPECT_EQ(support.installProvider(c.first, c.second), 0u);

    Lines expected{Open(), Begin(), AddProvider()};
    expected.insert(expected.end(), c.filterCalls.begin(), c.filterCalls.end());
    expected.insert(expected.end(), {Commit(), Close()});
    EXPECT_THAT(engine.calls(), ElementsAreArray(expected));

    Lines held{ProviderHeld()};
    held.insert(held.end(), c.filtersHeld.begin(), c.filtersHeld.end());
    EXPECT_THAT(engine.contents(), ElementsAreArray(held));
}

INSTANTIATE_TEST_SUITE_P(
    Ports, InstallPorts,
    ::testing::Values(
        PortsCase{"two_ports", 3128, 3129, {AddFilter(kFirstFilterKey, 3128), AddFilter(kSecondFilterKey, 3129)},
                  {FilterHeld(kFirstFilterKey, 3128), FilterHeld(kSecondFilterKey, 3129)}},
        PortsCase{"first_port_only", 3128, 0, {AddFilter(kFirstFilterKey, 3128)}, {FilterHeld(kFirstFilterKey, 3128)}},
        PortsCase{"second_port_only", 0, 8080, {AddFilter(kSecondFilterKey, 8080)}, {FilterHeld(kSecondFilterKey, 8080)}},
        PortsCase{"no_port", 0, 0, {}, {}},
        PortsCase{"highest_port", 65535, 1, {AddFilter(kFirstFilterKey, 65535), AddFilter(kSecondFilterKey, 1)},
                  {FilterHeld(kFirstFilterKey, 65535), FilterHeld(kSecondFilterKey, 1)}},
        // Only the low 16 bits carry the port.
        PortsCase{"upper_bits_ignored", 0x00010C38, 0xFFFF0C39,
                  {AddFilter(kFirstFilterKey, 3128), AddFilter(kSecondFilterKey, 3129)},
                  {FilterHeld(kFirstFilterKey, 3128), FilterHeld(kSecondFilterKey, 3129)}},
        PortsCase{"low_bits_zero_is_no_port", 0x00010000, 0xFFFFFFFF - 0xFFFF, {}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Firewall, InstallingAgainSucceedsOverTheExistingObjects) {
    ASSERT_EQ(support.installProvider(3128, 3129), 0u);
    EXPECT_EQ(support.installProvider(3128, 3129), 0u);

    EXPECT_THAT(engine.calls(),
                ElementsAre(Open(), Begin(), AddProvider(), AddFilter(kFirstFilterKey, 3128),
                            AddFilter(kSecondFilterKey, 3129), Commit(), Close(),  //
                            Open(), Begin(2), AddProvider(2, kAlreadyExists),
                            AddFilter(kFirstFilterKey, 3128, 2, kAlreadyExists),
                            AddFilter(kSecondFilterKey, 3129, 2, kAlreadyExists), Commit(2), Close(2)));
    EXPECT_EQ(engine.contents(), BothInstalled());
}

TEST_F(Firewall, InstallingAnotherPortKeepsTheFilterAlreadyThere) {
    ASSERT_EQ(support.installProvider(3128, 0), 0u);
    EXPECT_EQ(support.installProvider(4000, 0), 0u);
    EXPECT_THAT(engine.contents(), ElementsAre(ProviderHeld(), FilterHeld(kFirstFilterKey, 3128)));
}

struct FailureCase {
    const char* name;
    const char* entryPoint;
    unsigned occurrence;
    DWORD result;
    Lines calls;
};

class InstallFailure : public Firewall, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(InstallFailure, AbortsEverythingAndReportsTheResult) {
    const FailureCase& c = GetParam();
    engine.failCall(c.entryPoint, c.occurrence, c.result);
    EXPECT_EQ(support.installProvider(3128, 3129), c.result);
    EXPECT_THAT(engine.calls(), ElementsAreArray(c.calls));
    EXPECT_THAT(engine.contents(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Steps, InstallFailure,
    ::testing::Values(
        FailureCase{"open", "FwpmEngineOpen0", 1, 0x80320013, {Open(0x80320013)}},
        FailureCase{"begin", "FwpmTransactionBegin0", 1, ERROR_ACCESS_DENIED, {Open(), Begin(1, ERROR_ACCESS_DENIED), Close()}},
        FailureCase{"provider",
                    "FwpmProviderAdd0",
                    1,
                    ERROR_ACCESS_DENIED,
                    {Open(), Begin(), AddProvider(1, ERROR_ACCESS_DENIED), Abort(), Close()}},
        FailureCase{"first_filter",
                    "FwpmFilterAdd0",
                    1,
                    0x80320017,
                    {Open(), Begin(), AddProvider(), AddFilter(kFirstFilterKey, 3128, 1, 0x80320017), Abort(), Close()}},
        FailureCase{"second_filter",
                    "FwpmFilterAdd0",
                    2,
                    0x80320017,
                    {Open(), Begin(), AddProvider(), AddFilter(kFirstFilterKey, 3128),
                     AddFilter(kSecondFilterKey, 3129, 1, 0x80320017), Abort(), Close()}},
        FailureCase{"commit",
                    "FwpmTransactionCommit0",
                    1,
                    0x8032000B,
                    {Open(), Begin(), AddProvider(), AddFilter(kFirstFilterKey, 3128),
                     AddFilter(kSecondFilterKey, 3129), Commit(1, 0x8032000B), Close()}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Firewall, UninstallRemovesBothFiltersThenTheProvider) {
    InstallBoth();
    EXPECT_EQ(support.uninstallProvider(), 0u);
    EXPECT_THAT(engine.calls(), ElementsAre(Open(), Begin(), DeleteFilter(kSecondFilterKey),
                                            DeleteFilter(kFirstFilterKey), DeleteProvider(), Commit(), Close()));
    EXPECT_THAT(engine.contents(), IsEmpty());
}

TEST_F(Firewall, UninstallWithoutFiltersStillRemovesTheProvider) {
    ASSERT_EQ(support.installProvider(0, 0), 0u);
    EXPECT_EQ(support.uninstallProvider(), 0u);
    EXPECT_THAT(engine.contents(), IsEmpty());
}

TEST_F(Firewall, UninstallWithoutProviderFailsAndRollsBack) {
    EXPECT_EQ(support.uninstallProvider(), kProviderNotFound);
    EXPECT_THAT(engine.calls(),
                ElementsAre(Open(), Begin(), DeleteFilter(kSecondFilterKey, 1, kFilterNotFound),
                            DeleteFilter(kFirstFilterKey, 1, kFilterNotFound), DeleteProvider(1, kProviderNotFound),
                            Abort(), Close()));
}

TEST_F(Firewall, UninstallFailureRestoresTheFilters) {
    InstallBoth();
    engine.failCall("FwpmProviderDeleteByKey0", 1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(support.uninstallProvider(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_THAT(engine.calls(), ElementsAre(Open(), Begin(), DeleteFilter(kSecondFilterKey),
                                            DeleteFilter(kFirstFilterKey), DeleteProvider(1, ERROR_ACCESS_DENIED),
                                            Abort(), Close()));
    EXPECT_EQ(engine.contents(), BothInstalled());
}

TEST_F(Firewall, UninstallReportsOpenBeginAndCommitFailures) {
    engine.failCall("FwpmEngineOpen0", 1, 0x80320013);
    EXPECT_EQ(support.uninstallProvider(), 0x80320013u);
    engine.failCall("FwpmTransactionBegin0", 1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(support.uninstallProvider(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    InstallBoth();
    engine.failCall("FwpmTransactionCommit0", 1, 0x8032000B);
    EXPECT_EQ(support.uninstallProvider(), 0x8032000Bu);
    EXPECT_THAT(engine.calls(), ElementsAre(Open(), Begin(), DeleteFilter(kSecondFilterKey),
                                            DeleteFilter(kFirstFilterKey), DeleteProvider(), Commit(1, 0x8032000B),
                                            Close()));
    EXPECT_EQ(engine.contents(), BothInstalled());
}

}  // namespace
}  // namespace brisko::testing
