// What the agent does with the core's notifications, seen through recording doubles of the
// balloons and the proxy guard, on a clock the test sets.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "agent.h"
#include "core_link/payload_reader.h"
#include "idle_monitor.h"
#include "test_core.h"

namespace brisko {
namespace {

using testing::pack;
using testing::Value;
using Bytes = std::vector<uint8_t>;

struct Balloon {
    ResourceString title;
    BalloonText text;
    bool autoHide;
    bool operator==(const Balloon&) const = default;
};

void PrintTo(const Balloon& b, std::ostream* os) {
    *os << "{title " << b.title.id << ", text ";
    if (const auto* s = std::get_if<ResourceString>(&b.text)) {
        *os << s->id;
        if (const int* n = std::get_if<int>(&s->insert)) *os << "(" << *n << ")";
    } else {
        *os << "literal";
    }
    if (const auto* name = std::get_if<std::string>(&b.title.insert)) *os << ", insert " << *name;
    *os << (b.autoHide ? ", auto-hide}" : "}");
}

class RecordingNotifier : public Notifier {
public:
    void addTrayIcon(HWND) override {}
    void removeTrayIcon() override {}
    void showBalloon(const ResourceString& title, const BalloonText& text, bool autoHide) override {
        balloons.push_back({title, text, autoHide});
    }
    void clearBalloon() override {}
    std::vector<Balloon> balloons;
};

class RecordingProxyGuard : public ProxyGuard {
public:
    void configure(const ProxyConfigurationPayload& c, bool protectionEnabled) override {
        calls.push_back("configure(" + c.httpHost + "," + std::to_string(c.httpPort) + "," + c.httpsHost + "," +
                        std::to_string(c.httpsPort) + (protectionEnabled ? ",enabled)" : ",disabled)"));
    }
    void protectionChanged(bool enabled) override { calls.push_back(enabled ? "protection on" : "protection off"); }
    void stop() override { calls.push_back("stop"); }

    std::vector<std::string> calls;
};

// 100 ns per tick, like most performance counters.
class FakeClock : public MonotonicClock {
public:
    int64_t now() const override { return ticks; }
    double nanosecondsPerTick() const override { return 100.0; }
    int64_t ticks = 1'000'000'000;
};

constexpr int64_t kTicksPerMs = 10'000;
constexpr int64_t kMinute = 60'000;

class AgentMessages : public ::testing::Test {
protected:
    Message notification(uint8_t code, const Bytes& payload, uint16_t channel = 1) {
        return Message{0, channel, code, payload};
    }
    void receive(const Message& message) { EXPECT_EQ(agent->messageReceived(connection, message), nullptr); }
    void receiveFirstStatus() {
        receive(notification(0, pack({true, int64_t{0}})));
        notifier.balloons.clear();
        proxy.calls.clear();
    }

    RecordingNotifier notifier;
    RecordingProxyGuard proxy;
    FakeClock clock;
    std::shared_ptr<Agent> agent = std::make_shared<Agent>(nullptr, notifier, proxy, testing::idleMonitor(), clock);
    Connection connection{std::weak_ptr<Connection::Handler>()};
};

TEST_F(AgentMessages, FirstStatusOnlySetsTheState) {
    EXPECT_EQ(agent->protection().deadline, ProtectionState::kNoStatusYet);
    receive(notification(0, pack({false, int64_t{30 * kMinute}})));
    EXPECT_FALSE(agent->protection().enabled);
    EXPECT_EQ(agent->protection().deadline, clock.ticks + 30 * kMinute * kTicksPerMs);
    EXPECT_TRUE(notifier.balloons.empty());
    EXPECT_TRUE(proxy.calls.empty());
}

TEST_F(AgentMessages, ProxyConfigurationCarriesTheProtectionState) {
    receive(notification(0, pack({false, int64_t{30 * kMinute}})));
    receive(notification(2, pack({"127.0.0.1", int64_t{3128}, Value{}, Value{}})));
    EXPECT_EQ(proxy.calls, std::vector<std::string>{"configure(127.0.0.1,3128,,0,disabled)"});
}

TEST_F(AgentMessages, StatusStoresDeadlineRoundedToTheNearestTick) {
    struct Case {
        int64_t remainingMs;
        int64_t deadline;
    };
    const FakeClock& c = clock;
    for (const Case& k : {Case{0, 0}, Case{-5, 0}, Case{1, c.ticks + kTicksPerMs},
                          Case{INT64_MAX, INT64_MAX}}) {
        receive(notification(0, pack({true, k.remainingMs})));
        EXPECT_EQ(agent->protection().deadline, k.deadline) << k.remainingMs;
    }
    EXPECT_EQ(deadlineAfter(1, 0, 3.0), 333'333) << "0.3 of a tick rounds down";
    EXPECT_EQ(deadlineAfter(2, 0, 3.0), 666'667) << "0.6 of a tick rounds up";
}

struct NotificationCase {
    const char* name;
    uint8_t code;
    Bytes payload;
    std::vector<Balloon> balloons;
    std::vector<std::string> proxyCalls;
    uint16_t channel = 1;
};

class AgentNotifications : public AgentMessages, public ::testing::WithParamInterface<NotificationCase> {};

// Every case runs after the first status, so protection changes show their balloons.
TEST_P(AgentNotifications, Handles) {
    const NotificationCase& c = GetParam();
    receiveFirstStatus();
    receive(notification(c.code, c.payload, c.channel));
    EXPECT_EQ(notifier.balloons, c.balloons);
    EXPECT_EQ(proxy.calls, c.proxyCalls);
}

const ResourceString kNoInsert{};
Balloon disabledFor(int minutes) {
    return {{kDisabledTitle, {}}, ResourceString{kDisabledCountdown, minutes}, false};
}
const Balloon kEnabled{{kEnabledTitle, {}}, std::wstring(L" "), true};
Balloon blocked(const std::string& name, UINT text) {
    return {{kBlockedTitle, name}, ResourceString{text, {}}, true};
}
const std::vector<std::string> kOff{"protection off"};
const std::vector<std::string> kOn{"protection on"};

// What the guard makes of a protection change is the proxy policy's (user_proxy_guard_test).
INSTANTIATE_TEST_SUITE_P(
    Notifications, AgentNotifications,
    ::testing::Values(
        NotificationCase{"DisabledFor30Minutes", 0, pack({false, int64_t{30 * kMinute}}), {disabledFor(30)}, kOff},
        NotificationCase{"DisabledFor45SecondsShowsNoBalloon", 0, pack({false, int64_t{45'000}}), {}, kOff},
        NotificationCase{"DisabledJustOverAMinute", 0, pack({false, int64_t{kMinute + 1}}), {disabledFor(1)}, kOff},
        NotificationCase{"DisabledWithoutEndTime", 0, pack({false, int64_t{0}}), {}, kOff},
        NotificationCase{"DisabledForEverCountsWithoutOverflow", 0, pack({false, INT64_MAX}), {disabledFor(INT_MAX)}, kOff},
        NotificationCase{"Enabled", 0, pack({true, int64_t{0}}), {kEnabled}, kOn},
        NotificationCase{"StatusWithoutRemainingTimeIsDropped", 0, pack({false}), {}, {}},
        NotificationCase{"StatusNotMessagePackIsDropped", 0, Bytes{0xC1, 0xC1}, {}, {}},
        NotificationCase{"EmptyStatusIsDropped", 0, Bytes{}, {}, {}},
        NotificationCase{"StatusTimeAnArrayBeyondThePayloadIsDropped", 0, Bytes{0xC2, 0xDD, 0x01, 0, 0, 0}, {}, {}},
        NotificationCase{"BlockedOutsideTimeRange", 1, pack({"id", "Game", int64_t{0}}), {blocked("Game", kBlockedTimeRange)}, {}},
        NotificationCase{"BlockedQuotaUsedUp", 1, pack({"id", "Game", int64_t{1}}), {blocked("Game", kBlockedQuota)}, {}},
        NotificationCase{"BlockedReason7", 1, pack({"id", "Game", int64_t{7}}), {blocked("Game", kBlockedDenied)}, {}},
        NotificationCase{"BlockedNegativeReason", 1, pack({"id", "Game", int64_t{-1}}), {blocked("Game", kBlockedDenied)}, {}},
        NotificationCase{"BlockedWithoutReasonIsDropped", 1, pack({"id", "Game"}), {}, {}},
        NotificationCase{"ProxyBothHosts", 2, pack({"127.0.0.1", int64_t{3128}, "127.0.0.1", int64_t{3129}}), {},
                         {"configure(127.0.0.1,3128,127.0.0.1,3129,enabled)"}},
        NotificationCase{"ProxyAllNil", 2, pack({Value{}, Value{}, Value{}, Value{}}), {}, {"configure(,0,,0,enabled)"}},
        NotificationCase{"ProxyOnlyHttps", 2, pack({Value{}, Value{}, "h\xC3\xA9", int64_t{443}}), {},
                         {"configure(,0,h\xC3\xA9,443,enabled)"}},
        NotificationCase{"ProxyLargestPort", 2, pack({"h", int64_t{INT_MAX}, "h", int64_t{INT_MIN}}), {},
                         {"configure(h," + std::to_string(INT_MAX) + ",h," + std::to_string(INT_MIN) + ",enabled)"}},
        NotificationCase{"ProxyWithThreeValuesIsDropped", 2, pack({"h", int64_t{1}, "h"}), {}, {}},
        NotificationCase{"OtherChannelIgnored", 0, pack({false, int64_t{30 * kMinute}}), {}, {}, 3},
        NotificationCase{"ResponseChannelIgnored", 0, pack({false, int64_t{30 * kMinute}}), {}, {}, 0},
        NotificationCase{"UnknownCodeIgnored", 3, pack({false, int64_t{30 * kMinute}}), {}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

Bytes operator+(Bytes first, const Bytes& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

// A MessagePack bin value holding "h", then the rest of the payload.
Bytes withBinaryFirst(const Bytes& rest) {
    Bytes bytes(3 + rest.size());
    bytes[0] = 0xC4;
    bytes[1] = 0x01;
    bytes[2] = 'h';
    std::copy(rest.begin(), rest.end(), bytes.begin() + 3);
    return bytes;
}

// A value of the wrong type escapes the handler, for the connection to drop the link.
struct WrongTypeCase {
    const char* name;
    uint8_t code;
    Bytes payload;
};

class AgentWrongTypes : public AgentMessages, public ::testing::WithParamInterface<WrongTypeCase> {};

TEST_P(AgentWrongTypes, Throw) {
    receiveFirstStatus();
    const WrongTypeCase& c = GetParam();
    EXPECT_THROW(agent->messageReceived(connection, notification(c.code, c.payload)), std::exception);
    EXPECT_TRUE(notifier.balloons.empty());
    EXPECT_TRUE(proxy.calls.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Notifications, AgentWrongTypes,
    ::testing::Values(WrongTypeCase{"StatusStringForBoolean", 0, pack({"yes", int64_t{0}})},
                      WrongTypeCase{"StatusIntegerForBoolean", 0, pack({int64_t{1}, int64_t{0}})},
                      WrongTypeCase{"StatusBooleanForTime", 0, pack({false, true})},
                      WrongTypeCase{"StatusTimeBeyondInt64", 0, [] {
                                        Bytes b = pack({false});
                                        b.insert(b.end(), {0xCF, 0x80, 0, 0, 0, 0, 0, 0, 0});
                                        return b;
                                    }()},
                      WrongTypeCase{"StatusArrayForTime", 0, Bytes{0xC2, 0x91, 0x00}},
                      WrongTypeCase{"BlockedFirstNotAString", 1, pack({int64_t{1}, "Game", int64_t{0}})},
                      WrongTypeCase{"BlockedNameNotAString", 1, pack({"id", int64_t{5}, int64_t{0}})},
                      WrongTypeCase{"ProxyHostNotAString", 2, pack({int64_t{1}, int64_t{1}, Value{}, Value{}})},
                      WrongTypeCase{"ProxyPortBeyondInt", 2, pack({"h", int64_t{INT_MAX} + 1, Value{}, Value{}})},
                      WrongTypeCase{"ProxyPortAString", 2, pack({"h", "80", Value{}, Value{}})},
                      WrongTypeCase{"BlockedFirstBinary", 1, withBinaryFirst(pack({"Game", int64_t{0}}))},
                      WrongTypeCase{"BlockedNameBinary", 1, pack({"id"}) + withBinaryFirst(pack({int64_t{0}}))},
                      WrongTypeCase{"ProxyHostBinary", 2, withBinaryFirst(pack({int64_t{80}, Value{}, Value{}}))}),
    [](const auto& info) { return std::string(info.param.name); });

// Each element of an array takes a byte and each pair of a map two: a count beyond the bytes left
// is refused (size_overflow) before msgpack allocates for it, and so is nesting deeper than any
// value of the vocabulary needs. A count the bytes can hold is read, or ends early, as before.
enum class Read { Whole, EndsEarly, CountRefused };
struct ReaderCase {
    const char* name;
    Bytes payload;
    Read expect;
};

class PayloadReaderLimits : public ::testing::TestWithParam<ReaderCase> {};

TEST_P(PayloadReaderLimits, Next) {
    const ReaderCase& c = GetParam();
    PayloadReader reader(c.payload);
    switch (c.expect) {
        case Read::Whole:
            EXPECT_NO_THROW(reader.next());
            break;
        case Read::EndsEarly:
            EXPECT_THROW(reader.next(), msgpack::insufficient_bytes);
            break;
        case Read::CountRefused:
            EXPECT_THROW(reader.next(), msgpack::size_overflow);
            break;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Payloads, PayloadReaderLimits,
    ::testing::Values(ReaderCase{"ArrayOf16MiElements", Bytes{0xDD, 0x01, 0, 0, 0}, Read::CountRefused},
                      ReaderCase{"ArrayOfAllElements", Bytes{0xDD, 0xFF, 0xFF, 0xFF, 0xFF}, Read::CountRefused},
                      ReaderCase{"MapOf16MiPairs", Bytes{0xDF, 0x01, 0, 0, 0}, Read::CountRefused},
                      ReaderCase{"MapOfMorePairsThanHalfTheBytes", Bytes{0x83, 0xC0, 0xC0, 0xC0, 0xC0}, Read::CountRefused},
                      ReaderCase{"FiveNestedArrays", Bytes{0x91, 0x91, 0x91, 0x91, 0x91, 0xC0}, Read::CountRefused},
                      ReaderCase{"FourNestedArrays", Bytes{0x91, 0x91, 0x91, 0x91, 0xC0}, Read::Whole},
                      ReaderCase{"ArrayFillingThePayload", Bytes{0x93, 0xC0, 0xC0, 0xC0}, Read::Whole},
                      ReaderCase{"MapFillingThePayload", Bytes{0x82, 0xC0, 0xC0, 0xC0, 0xC0}, Read::Whole},
                      ReaderCase{"ArrayCountTheBytesCouldHoldButCut", Bytes{0x93, 0xC0, 0xC0}, Read::EndsEarly},
                      // A string's bytes are there before msgpack takes them: it ends early.
                      ReaderCase{"StringLongerThanThePayload", Bytes{0xDB, 0xFF, 0xFF, 0xFF, 0xFF, 'a'},
                                 Read::EndsEarly}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AgentMessages, StatusKeepsTheFlagWhenTheTimeIsMissing) {
    receiveFirstStatus();
    const int64_t deadline = agent->protection().deadline;
    receive(notification(0, pack({false})));
    EXPECT_FALSE(agent->protection().enabled);
    EXPECT_EQ(agent->protection().deadline, deadline);
}

TEST_F(AgentMessages, StatusAfterAReconnectionIsNotTheFirst) {
    receiveFirstStatus();
    agent->connectionChanged(connection, false);
    receive(notification(0, pack({false, int64_t{10 * kMinute}})));
    EXPECT_EQ(notifier.balloons, std::vector<Balloon>{disabledFor(10)});
}

TEST_F(AgentMessages, ChangeProtectionWithoutConnectionCompletesAtOnce) {
    const auto result = std::make_shared<int>(0);
    agent->requestProtectionChange(true, 0, "", Completion<int>(result, [](int& into, int code) { into = code; }));
    EXPECT_EQ(*result, -1);
}

TEST(ProtectionMinutes, TruncateToWholeMinutes) {
    EXPECT_EQ(wholeMinutesLeft(0, 5, 100.0), 0);
    EXPECT_EQ(wholeMinutesLeft(-1, 5, 100.0), 0);
    EXPECT_EQ(wholeMinutesLeft(1000 + 119 * 10'000'000, 1000, 100.0), 1);
    EXPECT_EQ(wholeMinutesLeft(1000 + 120 * 10'000'000, 1000, 100.0), 2);
    EXPECT_LT(wholeMinutesLeft(500, 1000, 100.0), 1) << "a deadline already passed shows nothing";
}

}  // namespace
}  // namespace brisko
