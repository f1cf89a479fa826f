// brisko::Connection and the agent's session messages against the test core, in this process:
// the test core listens on a free port and the connection retries after a fraction of a second.
#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <utility>
#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include "agent.h"
#include "core_link/connection.h"
#include "idle_monitor.h"
#include "test_core.h"
#include "test_core_endpoint.h"

namespace brisko {
namespace {

using namespace std::chrono_literals;
using testing::frameBytes;
using testing::pack;
using testing::TestCore;
using testing::Value;
using testing::waitUntil;
using Bytes = std::vector<uint8_t>;

constexpr double kRetry = 0.3;
constexpr auto kWait = 10s;

// Completions hold what they write: a request may complete after the test body has returned,
// when the fixture's connection closes.
using Responses = std::vector<Message>;

Connection::Completion recordInto(std::shared_ptr<Responses> responses) {
    return {std::move(responses), [](Responses& into, const Message& response) { into.push_back(response); }};
}

Completion<int> recordResult(std::shared_ptr<int> result) {
    return {std::move(result), [](int& into, int code) { into = code; }};
}

class RecordingHandler : public Connection::Handler {
public:
    void connectionChanged(Connection&, bool up) override { (up ? ups : downs)++; }
    std::unique_ptr<Message> messageReceived(Connection&, const Message& message) override {
        messages.push_back(message);
        if (message.code == kThrowCode) throw std::runtime_error("cannot decode");
        if (message.code == kReplyCode) return std::make_unique<Message>(Message{77, 4, 5, {1, 2, 3}});
        return nullptr;
    }
    static constexpr int32_t kThrowCode = 9;
    static constexpr int32_t kReplyCode = 8;
    int ups = 0;
    int downs = 0;
    std::vector<Message> messages;
};

// As a base, Winsock is up before the fixture's sockets exist and stays up until they are gone.
class WinsockTest : public ::testing::Test {
protected:
    WinsockTest() { started_ = ::WSAStartup(0x0202, &data_) == 0; }
    ~WinsockTest() override {
        if (started_) ::WSACleanup();
    }
    void SetUp() override { ASSERT_TRUE(started_); }

private:
    WSADATA data_{};
    bool started_ = false;
};

class ConnectionTest : public WinsockTest {
protected:
    void connectAndWait() {
        ASSERT_TRUE(connection->connect());
        ASSERT_TRUE(waitUntil([&] { return handler->ups == 1 && core->clientConnected(); }, kWait));
    }
    bool dropsAndReconnects() {
        return waitUntil([&] { return core->disconnections() == 1; }, kWait) &&
               waitUntil([&] { return core->connections() == 2 && handler->ups == 2; }, kWait);
    }

    std::unique_ptr<TestCore> core = std::make_unique<TestCore>(0);
    std::shared_ptr<RecordingHandler> handler = std::make_shared<RecordingHandler>();
    std::unique_ptr<Connection> connection =
        std::make_unique<Connection>(handler, "127.0.0.1", core->port(), kRetry);
};

TEST_F(ConnectionTest, RefusesASecondAttemptWhileConnected) {
    connectAndWait();
    EXPECT_FALSE(connection->connect());
    EXPECT_EQ(core->connections(), 1);
}

TEST_F(ConnectionTest, RefusesEmptyHostAndPortZero) {
    EXPECT_FALSE(Connection(handler, "", 3800).connect());
    EXPECT_FALSE(Connection(handler, "127.0.0.1", 0).connect());
}

TEST_F(ConnectionTest, FramesSplitOrJoinedAreEachDispatchedOnce) {
    connectAndWait();
    Bytes two = frameBytes(1, 1, 0, pack({true, int64_t{0}}));
    const Bytes second = frameBytes(2, 1, 1, {});
    two.insert(two.end(), second.begin(), second.end());
    core->sendRaw(two);
    ASSERT_TRUE(waitUntil([&] { return handler->messages.size() == 2; }, kWait));

    const Bytes split = frameBytes(3, 1, 2, Bytes(5000, 0x42));
    core->sendRaw(Bytes(split.begin(), split.begin() + 7));
    ASSERT_TRUE(waitUntil([&] { return connection->bytesAwaitingAFrame() == 7; }, kWait));
    core->sendRaw(Bytes(split.begin() + 7, split.end() - 1));
    ASSERT_TRUE(waitUntil([&] { return connection->bytesAwaitingAFrame() == split.size() - 1; }, kWait));
    EXPECT_EQ(handler->messages.size(), 2u) << "nothing before the frame is whole";
    core->sendRaw(Bytes(split.end() - 1, split.end()));
    ASSERT_TRUE(waitUntil([&] { return handler->messages.size() == 3; }, kWait));
    EXPECT_EQ(handler->messages[0], (Message{1, 1, 0, pack({true, int64_t{0}})}));
    EXPECT_EQ(handler->messages[1], (Message{2, 1, 1, {}}));
    EXPECT_EQ(handler->messages[2], (Message{3, 1, 2, Bytes(5000, 0x42)}));
    EXPECT_EQ(core->connections(), 1);
}

TEST_F(ConnectionTest, LargestPayloadKeepsTheConnection) {
    connectAndWait();
    core->sendRaw(frameBytes(1, 1, 5, Bytes(32768, 0x11)));
    core->sendNotification(6, {});  // read on the same connection, after it
    ASSERT_TRUE(waitUntil([&] { return handler->messages.size() == 2; }, kWait));
    EXPECT_EQ(handler->messages[0].payload.size(), 32768u);
    EXPECT_EQ(core->disconnections(), 0);
    EXPECT_EQ(core->connections(), 1);
}

struct BadInputCase {
    const char* name;
    Bytes bytes;
};

class ConnectionBadInput : public ConnectionTest, public ::testing::WithParamInterface<BadInputCase> {};

TEST_P(ConnectionBadInput, DropsAndReconnects) {
    connectAndWait();
    const auto lost = std::make_shared<Responses>();
    connection->sendRequest(Message{5, 7, 0, {0xC0}}, recordInto(lost));  // the core answers nothing on channel 7
    core->sendRaw(GetParam().bytes);
    EXPECT_TRUE(dropsAndReconnects());
    EXPECT_EQ(*lost, Responses{(Message{5, 0, -1, {}})}) << "a request pending at the drop completes with -1";
    EXPECT_EQ(handler->downs, 0) << "only the peer's close is reported as a disconnection";
}

INSTANTIATE_TEST_SUITE_P(
    Frames, ConnectionBadInput,
    ::testing::Values(BadInputCase{"BadMagic", Bytes{'X', 'p', 'p', '2', 0, 0, 0, 1, 0, 1, 0, 0}},
                      BadInputCase{"StreamingFlag", frameBytes(1, 1, 0, {}, 0x04)},
                      BadInputCase{"PayloadOfTooMany", frameBytes(1, 1, 0, Bytes(32769, 0))},
                      BadInputCase{"HandlerCannotDecode", frameBytes(1, 1, RecordingHandler::kThrowCode, {})}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConnectionTest, CoreClosingIsReportedAndRetried) {
    connectAndWait();
    core->closeClient();
    ASSERT_TRUE(waitUntil([&] { return handler->downs == 1; }, kWait));
    EXPECT_TRUE(connection->isReconnectScheduled());
    ASSERT_TRUE(waitUntil([&] { return core->connections() == 2 && handler->ups == 2; }, kWait));
    EXPECT_FALSE(connection->isReconnectScheduled()) << "the timer goes once an attempt is under way";
    // The new socket's events reach the connection as the first one's did.
    core->sendNotification(0, pack({true}));
    EXPECT_TRUE(waitUntil([&] { return handler->messages.size() == 1; }, kWait));
}

TEST_F(ConnectionTest, BytesSentJustBeforeTheCloseAreStillRead) {
    connectAndWait();
    ASSERT_TRUE(core->sendNotification(0, pack({true})));
    core->closeClient();
    ASSERT_TRUE(waitUntil([&] { return handler->downs == 1; }, kWait));
    EXPECT_EQ(handler->messages.size(), 1u);
}

// This thread's socket that is connected to the port: the connection's.
SOCKET socketConnectedTo(uint16_t port) {
    for (UINT_PTR value = 4; value < 0x10000; value += 4) {
        sockaddr_in peer{};
        int size = sizeof peer;
        if (::getpeername(static_cast<SOCKET>(value), reinterpret_cast<sockaddr*>(&peer), &size) == 0 &&
            peer.sin_family == AF_INET && ::ntohs(peer.sin_port) == port)
            return static_cast<SOCKET>(value);
    }
    return INVALID_SOCKET;
}

BOOL CALLBACK takeConnectionWindow(HWND candidate, LPARAM into) {
    wchar_t name[32] = {};
    ::GetClassNameW(candidate, name, 32);
    if (::lstrcmpW(name, L"Brisko::Connection") == 0) *reinterpret_cast<HWND*>(into) = candidate;
    return TRUE;
}

// Socket events are window messages anyone may post, with the right socket too: each is checked
// against the socket, and a false one changes nothing. The core's next frame, read after them,
// shows the connection as it was.
TEST_F(ConnectionTest, ForgedSocketEventsChangeNothing) {
    connectAndWait();
    const SOCKET socket = socketConnectedTo(core->port());
    ASSERT_NE(socket, INVALID_SOCKET);
    HWND window = nullptr;
    ::EnumThreadWindows(::GetCurrentThreadId(), &takeConnectionWindow, reinterpret_cast<LPARAM>(&window));
    ASSERT_NE(window, nullptr);
    const std::pair<WORD, WORD> events[] = {{FD_CLOSE, 0}, {FD_CLOSE, WSAECONNRESET}, {FD_CONNECT, WSAECONNREFUSED},
                                            {FD_CONNECT, 0}, {FD_READ, 0}, {FD_WRITE, 0}};
    for (size_t i = 0; i < std::size(events); ++i) {
        const auto [event, error] = events[i];
        ASSERT_TRUE(::PostMessageW(window, Connection::kSocketMessage, socket, MAKELPARAM(event, error)));
        ASSERT_TRUE(core->sendNotification(0, pack({true})));
        ASSERT_TRUE(waitUntil([&] { return handler->messages.size() == i + 1; }, kWait))
            << "after a forged event " << event << ", error " << error;
    }
    EXPECT_EQ(handler->ups, 1);
    EXPECT_EQ(handler->downs, 0);
    EXPECT_EQ(core->connections(), 1);
    EXPECT_EQ(core->disconnections(), 0);
}

TEST_F(ConnectionTest, RetriesUntilTheCoreListens) {
    const uint16_t port = core->port();
    core->stopListening();
    ASSERT_TRUE(connection->connect());
    ASSERT_TRUE(waitUntil([&] { return connection->isReconnectScheduled(); }, kWait)) << "refused";
    waitUntil([] { return false; }, 1s);  // a few refused retries
    EXPECT_EQ(handler->ups, 0);
    ASSERT_TRUE(core->listen());
    ASSERT_EQ(core->port(), port);
    EXPECT_TRUE(waitUntil([&] { return handler->ups == 1 && core->connections() == 1; }, kWait));
}

TEST_F(ConnectionTest, ResponsesCompleteTheirRequestOnly) {
    connectAndWait();
    core->answerChangeProtection(3);
    const auto answered = std::make_shared<Responses>();
    connection->sendRequest(Message{41, 2, 0, pack({"pw", true, int64_t{1}})}, recordInto(answered));
    ASSERT_TRUE(waitUntil([&] { return answered->size() == 1; }, kWait));
    EXPECT_EQ(answered->at(0), (Message{-41, 0, 3, {}}));
    EXPECT_EQ(connection->pendingRequests(), 0u);

    const auto unanswered = std::make_shared<Responses>();
    connection->sendRequest(Message{42, 7, 0, {0xC0}}, recordInto(unanswered));
    core->sendRaw(frameBytes(-99, 0, 0, {}));   // no such request
    core->sendRaw(frameBytes(-41, 0, 0, {}));   // already answered
    core->sendRaw(frameBytes(INT32_MIN, 0, 0, {}));
    core->sendNotification(1, {});
    ASSERT_TRUE(waitUntil([&] { return handler->messages.size() == 1; }, kWait));
    EXPECT_EQ(answered->size(), 1u);
    EXPECT_TRUE(unanswered->empty());
    EXPECT_EQ(connection->pendingRequests(), 1u);
    EXPECT_EQ(core->disconnections(), 0);

    connection->close();
    EXPECT_EQ(*unanswered, Responses{(Message{42, 0, -1, {}})}) << "closing completes what is still pending";
    EXPECT_EQ(answered->size(), 1u);
}

TEST_F(ConnectionTest, RequestWhileDisconnectedCompletesAtOnceAndStartsTheRetry) {
    const auto responses = std::make_shared<Responses>();
    connection->sendRequest(Message{1, 2, 0, {0xC0}}, recordInto(responses));
    EXPECT_EQ(*responses, Responses{(Message{1, 0, -1, {}})});
    EXPECT_EQ(connection->pendingRequests(), 0u);
    EXPECT_TRUE(connection->isReconnectScheduled());
    EXPECT_TRUE(waitUntil([&] { return handler->ups == 1; }, kWait));
}

TEST_F(ConnectionTest, RequestWhileConnectingWaitsForTheConnection) {
    core->answerChangeProtection(0);
    ASSERT_TRUE(connection->connect());
    const auto responses = std::make_shared<Responses>();
    connection->sendRequest(Message{1, 2, 0, {0xC0}}, recordInto(responses));
    ASSERT_TRUE(waitUntil([&] { return !responses->empty(); }, kWait));
    EXPECT_EQ(*responses, Responses{(Message{-1, 0, 0, {}})});
    EXPECT_EQ(core->connections(), 1);
}

TEST_F(ConnectionTest, CompletionMaySendAgainWhileClosing) {
    connectAndWait();
    core->answerChangeProtection(std::nullopt);
    // The first completion sends a second request over the connection that is closing.
    struct Resend {
        Connection* connection;
        std::shared_ptr<Responses> responses = std::make_shared<Responses>();
    };
    const auto resend = std::make_shared<Resend>(connection.get());
    connection->sendRequest(Message{1, 2, 0, {0xC0}},
                            Connection::Completion(resend, [](Resend& state, const Message& response) {
                                state.responses->push_back(response);
                                state.connection->sendRequest(Message{2, 2, 0, {0xC0}}, recordInto(state.responses));
                            }));
    connection->close();
    EXPECT_EQ(*resend->responses, (Responses{Message{1, 0, -1, {}}, Message{2, 0, -1, {}}}));
    EXPECT_EQ(connection->pendingRequests(), 0u);
}

TEST_F(ConnectionTest, HandlerRepliesAreSent) {
    connectAndWait();
    core->sendNotification(RecordingHandler::kReplyCode, {});
    ASSERT_TRUE(waitUntil([&] { return core->received().size() == 1; }, kWait));
    const testing::Frame reply = core->received()[0];
    EXPECT_EQ(reply.id, 77);
    EXPECT_EQ(reply.channel, 4);
    EXPECT_EQ(reply.code, 5);
    EXPECT_EQ(reply.payload, (Bytes{1, 2, 3}));
}

// A handler that were still called would throw and so drop the link; the response after the
// notification, which needs no handler, shows the notification was read.
TEST_F(ConnectionTest, NothingIsDispatchedOnceTheHandlerIsGone) {
    connectAndWait();
    core->answerChangeProtection(std::nullopt);
    const auto responses = std::make_shared<Responses>();
    connection->sendRequest(Message{9, 2, 0, {0xC0}}, recordInto(responses));
    ASSERT_TRUE(waitUntil([&] { return core->received().size() == 1; }, kWait));
    handler.reset();
    core->sendNotification(RecordingHandler::kThrowCode, {});
    core->sendRaw(testing::responseBytes(9, 0));
    ASSERT_TRUE(waitUntil([&] { return responses->size() == 1; }, kWait));
    EXPECT_EQ(responses->at(0), (Message{-9, 0, 0, {}}));
    EXPECT_EQ(core->disconnections(), 0);
}

TEST_F(ConnectionTest, ShutdownStopsTheRetry) {
    core->stopListening();
    ASSERT_TRUE(connection->connect());
    ASSERT_TRUE(waitUntil([&] { return connection->isReconnectScheduled(); }, kWait));
    connection->shutdown();
    EXPECT_FALSE(connection->isReconnectScheduled());
    ASSERT_TRUE(core->listen());
    // The retry is a timer of this thread: once one due three periods later has fired, the
    // retry has had its chance to make a new socket.
    bool probed = false;
    Timer probe(Timer::now() + 3 * kRetry, 0, [&](Timer&) { probed = true; });
    probe.schedule();
    ASSERT_TRUE(waitUntil([&] { return probed; }, kWait));
    EXPECT_FALSE(connection->hasSocket()) << "the shut-down connection tried again";
    EXPECT_FALSE(connection->isReconnectScheduled());
}

// The agent's side of the session: SessionUser at every connection, ChangeProtection results.
class AgentSession : public WinsockTest {
protected:
    void SetUp() override {
        WinsockTest::SetUp();
        agent->openConnection();
        ASSERT_TRUE(waitUntil([&] { return core->received().size() == 1; }, kWait));
    }
    void TearDown() override { agent->closeConnection(); }

    static std::string userName() {
        char name[256];
        DWORD size = sizeof name;
        return ::GetUserNameA(name, &size) ? name : "";
    }

    std::unique_ptr<TestCore> core = std::make_unique<TestCore>(0);
    SilentNotifier notifier;
    InactiveProxyGuard proxy;
    std::shared_ptr<Agent> agent =
        std::make_shared<Agent>(nullptr, notifier, proxy, testing::idleMonitor(), performanceCounter(),
                                testing::testCoreEndpoint(core->port(), kRetry));
};

TEST_F(AgentSession, AnnouncesTheUserAtEveryConnection) {
    ASSERT_FALSE(userName().empty());
    testing::Frame first = core->received()[0];
    EXPECT_EQ(first.channel, 0);
    EXPECT_EQ(first.code, 1);
    EXPECT_EQ(first.values, std::vector<Value>{userName()});

    core->sendNotification(0, pack({"not a boolean", int64_t{0}}));  // the agent drops the link
    ASSERT_TRUE(waitUntil([&] { return core->received().size() == 2; }, kWait));
    const testing::Frame second = core->received()[1];
    EXPECT_EQ(second.connection, 2);
    EXPECT_EQ(second.values, std::vector<Value>{userName()});
    EXPECT_GT(second.id, first.id) << "every message gets a fresh id";
}

class AgentChangeProtection : public AgentSession, public ::testing::WithParamInterface<int32_t> {};

TEST_P(AgentChangeProtection, CompletesWithTheCoresResult) {
    core->answerChangeProtection(GetParam());
    const auto result = std::make_shared<int>(INT32_MIN);
    agent->requestProtectionChange(false, 1800000, "secret", recordResult(result));
    ASSERT_TRUE(waitUntil([&] { return *result != INT32_MIN; }, kWait));
    EXPECT_EQ(*result, GetParam());
    const testing::Frame request = core->received().at(1);
    EXPECT_EQ(request.channel, 2);
    EXPECT_EQ(request.code, 0);
    EXPECT_EQ(request.values, (std::vector<Value>{"secret", false, int64_t{1800000}}));
}

INSTANTIATE_TEST_SUITE_P(Results, AgentChangeProtection, ::testing::Values(0, 3, 5, 0xFFFFFF));

TEST_F(AgentSession, ChangeProtectionLostWithTheConnectionCompletesWithMinusOne) {
    core->answerChangeProtection(std::nullopt);
    const auto result = std::make_shared<int>(INT32_MIN);
    agent->requestProtectionChange(true, 0, "", recordResult(result));
    ASSERT_TRUE(waitUntil([&] { return core->received().size() == 2; }, kWait));
    EXPECT_EQ(*result, INT32_MIN);
    core->closeClient();
    ASSERT_TRUE(waitUntil([&] { return *result != INT32_MIN; }, kWait));
    EXPECT_EQ(*result, -1);
}

// The dialog's case: the object waiting for the answer goes away before the answer comes. The
// answer, and then the -1 of a lost connection, arrive after it is gone and reach nothing; a
// request of a living object, answered after them, shows they were taken.
struct Waiter {
    int answers = 0;
    static inline int reached = 0;  // every answer that reached any waiter
};

Completion<int> waitFor(const std::shared_ptr<Waiter>& waiter) {
    return Completion<int>(std::weak_ptr<Waiter>(waiter), [](Waiter& w, int) {
        ++w.answers;
        ++Waiter::reached;
    });
}

TEST_F(AgentSession, AnAnswerForAnObjectThatIsGoneReachesNothing) {
    Waiter::reached = 0;
    core->answerChangeProtection(std::nullopt);
    auto gone = std::make_shared<Waiter>();
    const std::weak_ptr<Waiter> watch = gone;
    agent->requestProtectionChange(true, 0, "", waitFor(gone));
    ASSERT_TRUE(waitUntil([&] { return core->received().size() == 2; }, kWait));
    const int32_t answered = core->received()[1].id;
    gone.reset();
    EXPECT_TRUE(watch.expired()) << "the pending request does not keep a weakly held object alive";

    const auto living = std::make_shared<Waiter>();
    agent->requestProtectionChange(true, 0, "", waitFor(living));
    ASSERT_TRUE(waitUntil([&] { return core->received().size() == 3; }, kWait));
    core->sendRaw(testing::responseBytes(answered, 0));
    core->sendRaw(testing::responseBytes(core->received()[2].id, 0));
    ASSERT_TRUE(waitUntil([&] { return living->answers == 1; }, kWait));
    EXPECT_EQ(Waiter::reached, 1) << "the answer for the object that is gone reached something";

    auto goneToo = std::make_shared<Waiter>();
    agent->requestProtectionChange(true, 0, "", waitFor(goneToo));
    goneToo.reset();
    agent->closeConnection();  // completes what is pending with -1, at once
    EXPECT_EQ(Waiter::reached, 1) << "the lost connection's -1 reached something";
}

TEST(CompletionTest, SharedOwnersLiveUntilTheCompletionRanWeakOnesDoNot) {
    auto shared = std::make_shared<int>(0);
    const Completion<int> keeps(shared, [](int& into, int code) { into = code; });
    auto weak = std::make_shared<int>(0);
    const Completion<int> watches(std::weak_ptr<int>(weak), [](int& into, int code) { into = code; });
    const std::weak_ptr<int> sharedWatch = shared;
    shared.reset();
    weak.reset();
    ASSERT_FALSE(sharedWatch.expired());
    keeps(7);
    EXPECT_EQ(*sharedWatch.lock(), 7);
    watches(7);  // its owner is gone: nothing to write to, nothing happens
    Completion<int>()(7);
}

// Only stateless report functions make a completion: state captured by reference could be gone
// by the time the request ends.
TEST(CompletionTest, TakesOnlyReportFunctionsWithoutCaptures) {
    int local = 0;
    [[maybe_unused]] const auto capturing = [&local](int&, int code) { local = code; };
    [[maybe_unused]] const auto stateless = [](int&, int) {};
    static_assert(!std::is_constructible_v<Completion<int>, std::shared_ptr<int>, decltype(capturing)>);
    static_assert(!std::is_constructible_v<Completion<int>, std::shared_ptr<int>, std::function<void(int&, int)>>);
    static_assert(std::is_constructible_v<Completion<int>, std::shared_ptr<int>, decltype(stateless)>);
    static_assert(std::is_constructible_v<Completion<int>, std::weak_ptr<int>, decltype(stateless)>);
}

}  // namespace
}  // namespace brisko
