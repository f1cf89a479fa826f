// The real harbeeagent.exe against the test core on the core's port 3800, with the real 10 s
// retry. The agent is ended at the end of every test, and with the test program if it dies.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "blob_builder.h"
#include "desktop/desktop_windows.h"
#include "executable_path.h"
#include "registry_fixture.h"
#include "resource_ids.h"
#include "system_proxy.h"
#include "test_core.h"
#include "thread_descriptors.h"
#include "ui/notify_icon.h"
#include "unique_handle.h"

namespace brisko {
namespace {

using namespace std::chrono_literals;
using testing::Clock;
using testing::frameBytes;
using testing::pack;
using testing::TestCore;
using testing::Value;
using testing::waitUntil;
using Bytes = std::vector<uint8_t>;

constexpr auto kReconnectWait = 16s;

// The agent is built beside the folder of its tests.
std::wstring agentPath() { return siblingPath(L"..\\harbeeagent.exe"); }
// The same agent with a fake desktop, which reports its first list at once.
std::wstring fakeDesktopAgentPath() { return siblingPath(L"harbeeagent_fakedesktop.exe"); }

std::string userName() {
    char name[256];
    DWORD size = sizeof name;
    return ::GetUserNameA(name, &size) ? name : "";
}

class AgentProcess {
public:
    explicit AgentProcess(const std::wstring& path = agentPath()) : job_(::CreateJobObjectW(nullptr, nullptr)) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        ::SetInformationJobObject(job_.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits);
        std::wstring commandLine = L"\"" + path + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                              &startup, &info))
            return;
        process_.reset(info.hProcess);
        const UniqueHandle thread(info.hThread);
        mainThread_ = info.dwThreadId;
        ::AssignProcessToJobObject(job_.get(), process_.get());
        ::ResumeThread(thread.get());
    }
    ~AgentProcess() {
        if (!process_) return;
        ::TerminateProcess(process_.get(), 0);
        ::WaitForSingleObject(process_.get(), 10000);
    }
    explicit operator bool() const { return static_cast<bool>(process_); }
    DWORD mainThread() const { return mainThread_; }
    DWORD processId() const { return ::GetProcessId(process_.get()); }
    bool exited(DWORD& code) const {
        return ::WaitForSingleObject(process_.get(), 0) == WAIT_OBJECT_0 && ::GetExitCodeProcess(process_.get(), &code);
    }

private:
    UniqueHandle job_;
    UniqueHandle process_;
    DWORD mainThread_ = 0;
};

double secondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

class RealAgent : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(core.port(), 3800);
        ASSERT_TRUE(core.listen()) << "port 3800 is taken: another core or test is running";
    }
    // An agent that was killed leaves the proxy it forced behind.
    void TearDown() override {
        agent.reset();
        SetUserProxy(nullptr);
    }
    void startAndAwaitUser() {
        ASSERT_TRUE(agent.emplace()) << "cannot start " << std::string(agentPath().begin(), agentPath().end())
                                     << ": error " << ::GetLastError();
        ASSERT_TRUE(waitUntil([&] { return !core.received().empty(); }, 20s)) << "no SessionUser";
    }
    // The core's next frames, read after everything before them on the connection: a status and
    // a proxy configuration, whose forced proxy shows they were taken.
    bool takesTheNextFrames() {
        return core.sendNotification(0, pack({true, int64_t{0}})) &&
               core.sendNotification(2, pack({"127.0.0.1", int64_t{3127}, Value{}, Value{}})) &&
               waitUntil([] { return testing::readString(HKEY_CURRENT_USER, kInternetSettingsKey, L"ProxyServer") ==
                                     L"http=127.0.0.1:3127"; },
                         10s);
    }
    HWND agentWindow() const {
        const std::vector<HWND> windows = testing::threadWindows(agent->mainThread(), L"Brisko::Agent", false);
        return windows.size() == 1 ? windows[0] : nullptr;
    }

    TestCore core{3800, false};
    std::optional<AgentProcess> agent;
};

TEST_F(RealAgent, AnnouncesTheUserAndAcceptsNotifications) {
    ASSERT_NO_FATAL_FAILURE(startAndAwaitUser());
    const testing::Frame user = core.received()[0];
    EXPECT_EQ(user.id, 1) << "the first id the agent hands out";
    EXPECT_EQ(user.channel, 0);
    EXPECT_EQ(user.code, 1);
    ASSERT_FALSE(userName().empty());
    EXPECT_EQ(user.values, std::vector<Value>{userName()});

    EXPECT_TRUE(core.sendNotification(0, pack({false, int64_t{1800000}})));
    EXPECT_TRUE(core.sendNotification(0, pack({true, int64_t{0}})));
    EXPECT_TRUE(core.sendNotification(1, pack({"win32:game.exe", "Game", int64_t{7}})));
    EXPECT_TRUE(core.sendNotification(2, pack({"127.0.0.1", int64_t{3128}, Value{}, Value{}})));
    EXPECT_TRUE(core.sendRaw(frameBytes(0, 3, 0, pack({true}))));
    ASSERT_TRUE(takesTheNextFrames());
    EXPECT_EQ(core.disconnections(), 0);
    EXPECT_EQ(core.connections(), 1);
}

struct InputCase {
    const char* name;
    Bytes bytes;
    bool drops;
};

class RealAgentInput : public RealAgent, public ::testing::WithParamInterface<InputCase> {};

TEST_P(RealAgentInput, DropsAndReconnectsOnlyOnBadInput) {
    ASSERT_NO_FATAL_FAILURE(startAndAwaitUser());
    ASSERT_TRUE(core.sendRaw(GetParam().bytes));
    if (!GetParam().drops) {
        ASSERT_TRUE(takesTheNextFrames());
        EXPECT_EQ(core.disconnections(), 0);
        EXPECT_TRUE(core.clientConnected());
        return;
    }
    ASSERT_TRUE(waitUntil([&] { return core.disconnections() == 1; }, 5s)) << "the agent kept the connection";
    ASSERT_TRUE(waitUntil([&] { return core.received().size() == 2; }, kReconnectWait)) << "no reconnection";
    EXPECT_EQ(core.received()[1].connection, 2);
    EXPECT_EQ(core.received()[1].values, std::vector<Value>{userName()});
}

INSTANTIATE_TEST_SUITE_P(
    Frames, RealAgentInput,
    ::testing::Values(InputCase{"BadMagic", Bytes{'S', 'P', 'P', '2', 0, 0, 0, 1, 0, 1, 0, 0}, true},
                      InputCase{"StreamingFlag", frameBytes(1, 1, 0, pack({true, int64_t{0}}), 0x04), true},
                      InputCase{"PayloadOf32769", frameBytes(1, 1, 7, Bytes(32769, 0xC0)), true},
                      InputCase{"StatusWithAStringForTheFlag", frameBytes(1, 1, 0, pack({"yes", int64_t{0}})), true},
                      InputCase{"PayloadOf32768", frameBytes(1, 1, 7, Bytes(32768, 0xC0)), false},
                      InputCase{"StatusCutShort", frameBytes(1, 1, 0, pack({false})), false}),
    [](const auto& info) { return std::string(info.param.name); });

// Attempts refused while nothing listens are retried every 10 s; after the core closes the link,
// the agent is back 10 s later. The agent's start-up time varies with the machine's load, so the
// first round is measured from the moment the core listens, not from the process start.
TEST_F(RealAgent, RetriesEveryTenSeconds) {
    core.stopListening();
    ASSERT_TRUE(agent.emplace());
    waitUntil([] { return false; }, 12s);  // at least the first attempt is refused
    EXPECT_EQ(core.connections(), 0);
    ASSERT_TRUE(core.listen());
    const Clock::time_point listening = Clock::now();
    ASSERT_TRUE(waitUntil([&] { return !core.received().empty(); }, 15s));
    EXPECT_LE(secondsBetween(listening, core.acceptTimes()[0]), 11.0) << "no retry within a round of 10 s";

    core.closeClient();
    const Clock::time_point closed = Clock::now();
    ASSERT_TRUE(waitUntil([&] { return core.connections() == 2; }, kReconnectWait));
    const double reconnect = secondsBetween(closed, core.acceptTimes()[1]);
    EXPECT_GE(reconnect, 9.0);
    EXPECT_LE(reconnect, 12.5);
}

// Only the agent ends itself: a service it cannot reach still ends it (the service launches a
// new one). No service runs here.
TEST_F(RealAgent, ALostServiceEndsIt) {
    AgentProcess fake(fakeDesktopAgentPath());
    ASSERT_TRUE(fake);
    DWORD code = STILL_ACTIVE;
    ASSERT_TRUE(waitUntil([&] { return fake.exited(code); }, 20s)) << "the agent kept running without its service";
    EXPECT_EQ(code, 0u);
}

// The user's own proxy settings while the agent guards them.
class RealAgentProxy : public RealAgent {
protected:
    void SetUp() override {
        RealAgent::SetUp();
        SetUserProxy(nullptr);
        testing::setBinary(HKEY_CURRENT_USER, kConnections, kBlobName, testing::makeBlob({.counter = 1, .flags = 9}));
    }
    void TearDown() override {
        RealAgent::TearDown();
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kConnections.c_str(), kBlobName);
    }

    static std::optional<std::wstring> proxyServer() {
        return testing::readString(HKEY_CURRENT_USER, kSettings, L"ProxyServer");
    }
    static std::optional<DWORD> proxyEnable() { return testing::readDword(HKEY_CURRENT_USER, kSettings, L"ProxyEnable"); }
    static bool forced() { return proxyServer() == kForced && proxyEnable() == 1u; }
    static bool removed() { return !proxyServer() && proxyEnable() == 0u; }
    static testing::Bytes connection() {
        return testing::readBinary(HKEY_CURRENT_USER, kConnections, kBlobName).value_or(testing::Bytes{});
    }
    // Another program switching the proxy off, as the Internet options would.
    static void userTurnsProxyOff() {
        testing::setRaw(HKEY_CURRENT_USER, kSettings, L"ProxyEnable", REG_DWORD, "\0\0\0\0", 4);
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kSettings.c_str(), L"ProxyServer");
    }
    void sendStatus(bool enabled) {
        ASSERT_TRUE(core.sendNotification(0, pack({enabled, int64_t{enabled ? 0 : 1'800'000}})));
    }
    void sendProxyConfiguration() {
        ASSERT_TRUE(core.sendNotification(2, pack({"127.0.0.1", int64_t{3128}, "127.0.0.1", int64_t{3129}})));
    }

    static inline const std::wstring kSettings = kInternetSettingsKey;
    static inline const std::wstring kConnections = kConnectionsKey;
    static constexpr wchar_t kBlobName[] = L"HarbeeTestConnection";
    static constexpr wchar_t kForced[] = L"http=127.0.0.1:3128;https=127.0.0.1:3129";
};

TEST_F(RealAgentProxy, ForcesTheCoresProxyWhileProtectionIsOnAndRemovesItAfter) {
    ASSERT_NO_FATAL_FAILURE(startAndAwaitUser());
    sendStatus(true);
    sendProxyConfiguration();
    ASSERT_TRUE(waitUntil(forced, 30s)) << "the proxy was not forced";
    EXPECT_EQ(connection(), testing::makeBlob({.counter = 2, .flags = 3, .server = "http=127.0.0.1:3128;https=127.0.0.1:3129",
                                               .bypass = "<local>"}));

    for (int change = 0; change < 2; ++change) {
        userTurnsProxyOff();
        ASSERT_TRUE(waitUntil(forced, 30s)) << "the change was not undone, change " << change;
    }

    sendStatus(false);
    ASSERT_TRUE(waitUntil(removed, 30s)) << "protection off left the proxy";
    // Nothing watches the settings while protection is off, so nothing can write over them.
    EXPECT_EQ(::FindWindowExW(HWND_MESSAGE, nullptr, L"Brisko::SettingsWatch", nullptr), nullptr);
    testing::setRaw(HKEY_CURRENT_USER, kSettings, L"ProxyEnable", REG_DWORD, "\1\0\0\0", 4);
    EXPECT_EQ(proxyEnable(), 1u) << "while protection is off the user's own settings stay";
    testing::setRaw(HKEY_CURRENT_USER, kSettings, L"ProxyEnable", REG_DWORD, "\0\0\0\0", 4);

    sendStatus(true);
    EXPECT_TRUE(waitUntil(forced, 30s)) << "protection back on did not force the kept proxy";
}

// Everything another program of the user may post to the agent's thread and to each of its
// windows (the old quit requests 0x401 and WM_QUIT among them, closing, the agent's own wake-up
// and watch messages, socket events) neither ends the agent, nor stops its guard, nor drops its
// connection. The next outside change is
// written over after the flood has been taken: the proof that it was.
TEST_F(RealAgentProxy, ForgedMessagesNeitherEndItNorPauseTheGuard) {
    ASSERT_NO_FATAL_FAILURE(startAndAwaitUser());
    sendStatus(true);
    sendProxyConfiguration();
    ASSERT_TRUE(waitUntil(forced, 30s)) << "the proxy was not forced";
    const DWORD thread = agent->mainThread();
    std::vector<HWND> windows = testing::threadWindows(thread, L"Brisko::Agent", false);
    const std::vector<HWND> connection = testing::threadWindows(thread, L"Brisko::Connection", false);
    windows.insert(windows.end(), connection.begin(), connection.end());
    for (HWND watch = nullptr; (watch = ::FindWindowExW(HWND_MESSAGE, watch, L"Brisko::SettingsWatch", nullptr));)
        windows.push_back(watch);
    ASSERT_EQ(windows.size(), 3u) << "the agent's, the connection's and the settings watch's window";

    const UINT messages[] = {WM_QUIT, WM_USER + 1, WM_CLOSE, WM_DESTROY, WM_ENDSESSION, WM_TIMER, WM_APP + 0x30,
                             WM_APP + 0x31, WM_SYSCOMMAND};
    for (int round = 0; round < 50; ++round) {
        for (const UINT message : messages) {
            const WPARAM wParam = message == WM_SYSCOMMAND ? SC_CLOSE : static_cast<WPARAM>(round);
            ::PostThreadMessageW(thread, message, wParam, 0);
            for (const HWND window : windows) ::PostMessageW(window, message, wParam, 0);
        }
    }
    // Socket events, for every handle value the connection's socket is likely to have.
    for (WPARAM socket = 4; socket < 0x800; socket += 4) {
        for (const WORD event : {FD_CLOSE, FD_CONNECT, FD_READ})
            ::PostMessageW(connection[0], WM_USER + 1, socket, MAKELPARAM(event, event == FD_CONNECT ? WSAECONNREFUSED : 0));
    }
    userTurnsProxyOff();
    ASSERT_TRUE(waitUntil(forced, 30s)) << "the guard stopped";
    DWORD code = STILL_ACTIVE;
    EXPECT_FALSE(agent->exited(code)) << "exit code " << code;
    for (const HWND window : windows) EXPECT_TRUE(::IsWindow(window));
    EXPECT_EQ(core.disconnections(), 0);
}

// The guard goes on while the main thread is in a modal loop: each is opened as the child can
// open it, by posting to the agent's window (About and the parents' dialog need no password; a
// wrong one gives the message box).
TEST_F(RealAgentProxy, WritesOverAnOutsideChangeWhileADialogOrTheMenuIsOpen) {
    using testing::click;
    using testing::kDialogClass;
    using testing::kMenuClass;
    ASSERT_NO_FATAL_FAILURE(startAndAwaitUser());
    core.answerChangeProtection(3);
    sendStatus(true);
    sendProxyConfiguration();
    ASSERT_TRUE(waitUntil(forced, 30s)) << "the proxy was not forced";
    const HWND window = agentWindow();
    ASSERT_NE(window, nullptr);
    const DWORD thread = agent->mainThread();
    const auto dialogWith = [&](int id) {
        return testing::waitForWindow(thread, kDialogClass, [&](HWND dialog) { return testing::hasItem(dialog, id); });
    };
    const auto writtenOverWhileOpen = [&](HWND modal, const char* name) {
        ASSERT_NE(modal, nullptr) << name << " did not open";
        userTurnsProxyOff();
        EXPECT_TRUE(waitUntil(forced, 30s)) << "not written over while " << name << " is open";
        EXPECT_TRUE(::IsWindowVisible(modal)) << name;
    };

    ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(1, 0), 0);
    // About: an OK button and no password.
    const HWND about = testing::waitForWindow(thread, kDialogClass, [](HWND dialog) {
        return testing::hasItem(dialog, IDOK) && !testing::hasItem(dialog, IDC_PASSWORD);
    });
    writtenOverWhileOpen(about, "About");
    click(about, IDCANCEL);
    ASSERT_TRUE(testing::waitUntilGone(about));

    ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(3, 0), 0);
    const HWND disable = dialogWith(IDC_PASSWORD);
    writtenOverWhileOpen(disable, "the parents' dialog");
    testing::setAnsiText(::GetDlgItem(disable, IDC_PASSWORD), "wrong");
    click(disable, IDOK);
    const HWND box = testing::ownedBy(thread, disable);
    writtenOverWhileOpen(box, "the wrong-password box");
    click(box, IDOK);
    ASSERT_TRUE(testing::waitUntilGone(box));
    click(disable, IDCANCEL);
    ASSERT_TRUE(testing::waitUntilGone(disable));

    ::PostMessageW(window, kTrayCallbackMessage, kTrayIconId, WM_RBUTTONDOWN);
    const HWND menu = testing::waitForWindow(thread, kMenuClass, [](HWND) { return true; });
    writtenOverWhileOpen(menu, "the tray menu");
    testing::closeMenu(menu);
    EXPECT_TRUE(testing::waitUntilGone(menu));
}

// Every thread of the running agent (here its main thread and the proxy guard's watch) carries
// the agent's thread descriptor, and this other process of the same user can open none of them
// for what would stop or steer it. Wine lets the owner read the descriptor, which OWNER RIGHTS
// forbids on Windows: there a refused read is the sign of that entry.
TEST_F(RealAgentProxy, EveryThreadOfTheRunningAgentIsProtected) {
    ASSERT_NO_FATAL_FAILURE(startAndAwaitUser());
    sendStatus(true);
    sendProxyConfiguration();
    ASSERT_TRUE(waitUntil(forced, 30s)) << "the proxy was not forced";
    const std::wstring user = testing::ownAccount();
    const std::vector<DWORD> threads = testing::threadsOf(agent->processId());
    ASSERT_GE(threads.size(), 2u);
    for (const DWORD thread : threads) {
        const UniqueHandle readable(::OpenThread(READ_CONTROL, FALSE, thread));
        if (!readable) {
            EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << "thread " << thread;
        } else {
            const std::optional<testing::ThreadDacl> dacl = testing::readThreadDacl(readable.get());
            ASSERT_TRUE(dacl) << "thread " << thread;
            EXPECT_TRUE(dacl->isProtected) << "thread " << thread;
            EXPECT_TRUE(dacl->onlyAllowEntries) << "thread " << thread;
            EXPECT_EQ(dacl->allowed, testing::agentThreadEntries(user)) << "thread " << thread;
        }
        for (const testing::ThreadRight& right : testing::kDeniedThreadRights)
            EXPECT_FALSE(UniqueHandle(::OpenThread(right.mask, FALSE, thread)))
                << "another process of the user may " << right.name << " the agent's thread " << thread;
    }
}

TEST_F(RealAgentProxy, ConfigurationWhileProtectionIsOffWaitsForIt) {
    ASSERT_NO_FATAL_FAILURE(startAndAwaitUser());
    sendStatus(false);
    // The configuration comes with the core's answer to a disable request, just before the
    // verdict that closes the parents' dialog: once the dialog is gone, it has been taken.
    TestCore::Reactions reactions;
    reactions.frameReceived = [](const testing::Frame& frame) {
        if (frame.channel != 2) return Bytes{};
        Bytes bytes = frameBytes(0, 1, 2, pack({"127.0.0.1", int64_t{3128}, "127.0.0.1", int64_t{3129}}));
        const Bytes verdict = testing::responseBytes(frame.id, 0);
        bytes.insert(bytes.end(), verdict.begin(), verdict.end());
        return bytes;
    };
    core.react(std::move(reactions));
    ASSERT_TRUE(::PostMessageW(agentWindow(), WM_COMMAND, MAKEWPARAM(3, 0), 0));
    const HWND dialog = testing::waitForWindow(agent->mainThread(), testing::kDialogClass,
                                               [](HWND window) { return testing::hasItem(window, IDC_PASSWORD); });
    ASSERT_NE(dialog, nullptr);
    testing::setAnsiText(::GetDlgItem(dialog, IDC_PASSWORD), "secret");
    testing::click(dialog, IDOK);
    ASSERT_TRUE(testing::waitUntilGone(dialog)) << "no verdict";
    EXPECT_FALSE(proxyServer()) << "nothing is forced while protection is off";
    sendStatus(true);
    EXPECT_TRUE(waitUntil(forced, 30s));
}

}  // namespace
}  // namespace brisko
