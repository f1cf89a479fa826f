// The agent's tray, menu and dialogs as a user meets them: the agent runs its main loop on a
// thread of its own against the test core, and the test clicks and types from its thread.
// The program runs once with the English and once with the French user interface language;
// every text is checked against that language's table. The shell's notification area is a
// recording stand-in here (the real one is exercised by tray_shell_test).
#include <gtest/gtest.h>

#include <shlobj.h>

#include <atomic>
#include <climits>
#include <future>
#include <new>
#include <optional>
#include <thread>
#include <string>
#include <vector>

#include "desktop/desktop_windows.h"
#include "desktop/recording_shell.h"
#include "desktop/running_agent.h"
#include "desktop/screen_capture.h"
#include "desktop/test_watchdog.h"
#include "desktop/ui_texts.h"
#include "executable_path.h"
#include "resource_ids.h"
#include "test_processes.h"
#include "ui/dialog_icons.h"
#include "ui/dialog_placement.h"
#include "ui/disable_dialog.h"
#include "ui/notify_icon.h"
#include "ui/tray_menu.h"
#include "ui/window_dpi.h"
#include "unique_memory.h"

namespace brisko::testing {

void PrintTo(const MenuLine& line, std::ostream* os) {
    *os << "{\"" << wideToUtf8(line.text) << "\" id " << line.id << (line.separator ? " separator" : "")
        << (line.selectable ? "" : " not selectable") << (line.grayed ? " grayed" : "") << "}";
}

namespace {

using namespace std::chrono_literals;

constexpr int64_t kMinuteMs = 60'000;

const UiTexts& texts = uiTexts();
const bool watched = TestWatchdog::install(std::chrono::seconds(90));

TEST(UiLanguage, IsTheOneThisRunIsFor) {
    wchar_t wanted[8] = {};
    if (!::GetEnvironmentVariableW(L"HARBEE_UI_LANGUAGE", wanted, 8)) GTEST_SKIP() << "no language asked for";
    EXPECT_STREQ(texts.language, wanted) << "the process's user interface language was not set";
}

// The program carries the agent's manifest, so it runs as the agent does.
TEST(UiDpi, TheAgentIsPerMonitorAware) {
    // Wine tells no second version of per-monitor awareness apart (agent_resources_test reads
    // the manifest's PerMonitorV2).
    EXPECT_EQ(::GetAwarenessFromDpiAwarenessContext(::GetThreadDpiAwarenessContext()),
              DPI_AWARENESS_PER_MONITOR_AWARE);
}

class Desktop : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(agent.started()) << "the agent did not connect or has no window"; }

    std::vector<MenuLine> openMenuLines() {
        agent.clickIcon();
        const HWND menu = agent.waitForMenu();
        if (!menu) return {};
        std::vector<MenuLine> lines = menuLines(menu);
        closeMenu(menu);
        waitUntilGone(menu);
        return lines;
    }

    RecordingShell shell;
    RunningAgent agent{shell};
};

// ---- the icon

TEST_F(Desktop, IconComesWithTheWindowAndGoesAtTheEnd) {
    const std::vector<ShellCall> calls = shell.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].message, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(calls[0].data.hWnd, agent.window());
    EXPECT_EQ(calls[0].data.uFlags, 0x27u);
    ASSERT_NE(calls[0].data.hIcon, nullptr) << "icon group 102";
    EXPECT_EQ(iconSize(calls[0].data.hIcon).cx, ::GetSystemMetrics(SM_CXSMICON)) << "the small image, not a large one";
    EXPECT_EQ(std::wstring(calls[0].data.szTip), texts.tooltip);

    ASSERT_TRUE(agent.stop());
    ASSERT_EQ(shell.calls().size(), 2u);
    EXPECT_EQ(shell.calls()[1].message, static_cast<DWORD>(NIM_DELETE));
    EXPECT_EQ(shell.calls()[1].data.uFlags, 0x20u);
    EXPECT_EQ(shell.calls()[1].data.guidItem, kTrayIconGuid);
}

TEST_F(Desktop, ANewTaskbarGetsTheIconAgain) {
    send(agent.window(), ::RegisterWindowMessageW(L"TaskbarCreated"));
    const std::vector<ShellCall> calls = shell.calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].message, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(std::wstring(calls[1].data.szTip), texts.tooltip);
}

TEST(DesktopIcon, AnIconLeftByAnEarlierAgentIsReplacedOtherFailuresAreNot) {
    struct Case {
        DWORD error;
        std::vector<DWORD> messages;
    };
    for (const Case& c : {Case{0x80004005, {NIM_ADD, NIM_DELETE, NIM_ADD}}, Case{ERROR_TIMEOUT, {NIM_ADD}}}) {
        RecordingShell shell;
        shell.failNext(c.error);
        RunningAgent agent(shell);
        ASSERT_TRUE(agent.started());
        std::vector<DWORD> messages;
        for (const ShellCall& call : shell.calls()) messages.push_back(call.message);
        EXPECT_EQ(messages, c.messages) << std::hex << c.error;
    }
}

// ---- balloons

struct BalloonCase {
    const char* name;
    uint8_t code;
    std::vector<Value> values;
    std::wstring title, text;
};

class DesktopBalloons : public Desktop, public ::testing::WithParamInterface<BalloonCase> {};

TEST_P(DesktopBalloons, TextsComeFromTheTable) {
    const BalloonCase& c = GetParam();
    ASSERT_TRUE(agent.setStatus(true, 0)) << "the first status shows nothing";
    ASSERT_TRUE(agent.core().sendNotification(c.code, pack(c.values)));
    ASSERT_TRUE(waitUntil([&] { return !shell.balloons().empty(); }, 10s));
    const ShellCall balloon = shell.balloons()[0];
    EXPECT_EQ(balloon.infoTitle(), c.title);
    EXPECT_EQ(balloon.info(), c.text);
    EXPECT_EQ(balloon.data.uFlags, 0x70u);
}

const std::string kLongName(100, 'n');

INSTANTIATE_TEST_SUITE_P(
    Notifications, DesktopBalloons,
    ::testing::Values(
        BalloonCase{"BlockedOutsideTimeRange", 1, {"win32:game.exe", "Game", int64_t{0}}, texts.blocked("Game"), texts.timeRange},
        BalloonCase{"BlockedQuotaUsedUp", 1, {"win32:game.exe", "Game", int64_t{1}}, texts.blocked("Game"), texts.quota},
        BalloonCase{"BlockedOtherReason", 1, {"win32:game.exe", "Game", int64_t{7}}, texts.blocked("Game"), texts.denied},
        BalloonCase{"BlockedAnsiName", 1, {"win32:cafe.exe", "Caf\xE9", int64_t{7}}, texts.blocked("Caf\xE9"), texts.denied},
        BalloonCase{"BlockedLongNameIsCut", 1, {"win32:n.exe", kLongName, int64_t{7}}, std::wstring(63, L'n'), texts.denied},
        BalloonCase{"Disabled", 0, {false, int64_t{30 * kMinuteMs + kMinuteMs / 2}}, texts.disabledTitle, texts.countdown(30)},
        BalloonCase{"DisabledAbsurdlyLong", 0, {false, INT64_MAX}, texts.disabledTitle, texts.countdown(INT_MAX)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DesktopBalloonTimer, AnAutoHideBalloonIsClearedAPeriodAfterTheLastOne) {
    constexpr auto kPeriod = 2000ms;
    RecordingShell shell;
    RunningAgent agent(shell, static_cast<UINT>(kPeriod.count()));
    ASSERT_TRUE(agent.started());
    ASSERT_TRUE(agent.setStatus(false, 20 * kMinuteMs));
    const auto blocked = pack({"win32:game.exe", "Game", int64_t{1}});
    ASSERT_TRUE(agent.core().sendNotification(1, blocked));
    waitUntil([] { return false; }, 600ms);
    ASSERT_TRUE(agent.core().sendNotification(1, blocked));
    ASSERT_TRUE(waitUntil([&] { return shell.balloons().size() == 3; }, 10s)) << "two balloons, then the clearing";
    ASSERT_TRUE(agent.letTimersFire(2 * kPeriod));

    std::vector<ShellCall> balloons = shell.balloons();
    ASSERT_EQ(balloons.size(), 3u) << "cleared once";
    EXPECT_TRUE(balloons[2].clearsBalloon());
    // Timers never fire early; a little slack for the clocks' resolutions.
    EXPECT_GE(balloons[2].time - balloons[1].time, kPeriod - 50ms);

    // A balloon without auto-hide stops the timer of the one before it.
    ASSERT_TRUE(agent.core().sendNotification(1, blocked));
    ASSERT_TRUE(agent.setStatus(false, 10 * kMinuteMs));
    ASSERT_TRUE(waitUntil([&] { return shell.balloons().size() == 5; }, 10s));
    ASSERT_TRUE(agent.letTimersFire(2 * kPeriod));
    balloons = shell.balloons();
    ASSERT_EQ(balloons.size(), 5u) << "nothing cleared the disabled balloon";
    EXPECT_EQ(balloons[4].infoTitle(), texts.disabledTitle);

    // Protection back on: its balloon is one space, and goes by itself.
    ASSERT_TRUE(agent.setStatus(true, 0));
    ASSERT_TRUE(waitUntil([&] { return shell.balloons().size() == 7; }, 10s));
    balloons = shell.balloons();
    EXPECT_EQ(balloons[5].infoTitle(), texts.enabledTitle);
    EXPECT_EQ(balloons[5].info(), L" ");
    EXPECT_TRUE(balloons[6].clearsBalloon());
}

// ---- the menu

MenuLine line(const std::wstring& text, UINT id) { return {text, id, false, true, false}; }
// Shown for information: not selectable, but not greyed either.
MenuLine information(const std::wstring& text) { return {text, 0, false, false, false}; }
MenuLine grayed(const std::wstring& text, UINT id) { return {text, id, false, false, true}; }
const MenuLine kSeparatorLine{L"", 0, true, false, false};

struct MenuCase {
    const char* name;
    std::optional<std::pair<bool, int64_t>> status;  // none: no status yet
    std::vector<MenuLine> lines;
    std::chrono::milliseconds wait = 0ms;
};

class DesktopMenu : public Desktop, public ::testing::WithParamInterface<MenuCase> {};

TEST_P(DesktopMenu, FollowsTheProtectionState) {
    const MenuCase& c = GetParam();
    if (c.status) {
        ASSERT_TRUE(agent.setStatus(c.status->first, c.status->second));
    }
    waitUntil([] { return false; }, c.wait);
    EXPECT_EQ(openMenuLines(), c.lines);
}

INSTANTIATE_TEST_SUITE_P(
    States, DesktopMenu,
    ::testing::Values(
        MenuCase{"NoStatusYet", std::nullopt,
                 {line(texts.about, 1), kSeparatorLine, line(texts.disable, 3), line(texts.parentsSettings, 2)}},
        MenuCase{"Enabled", std::pair{true, int64_t{0}},
                 {line(texts.about, 1), kSeparatorLine, line(texts.disable, 3), line(texts.parentsSettings, 2)}},
        MenuCase{"DisabledUntilFurtherNotice", std::pair{false, int64_t{0}},
                 {line(texts.about, 1), kSeparatorLine, grayed(texts.enableNow, 4),
                  line(texts.parentsSettings, 2)}},
        MenuCase{"Disabled12MinutesLeft", std::pair{false, 12 * kMinuteMs + kMinuteMs / 2},
                 {line(texts.about, 1), kSeparatorLine, information(texts.countdown(12)), line(texts.enableNow, 4),
                  line(texts.parentsSettings, 2)}},
        MenuCase{"DeadlinePassed", std::pair{false, int64_t{300}},
                 {line(texts.about, 1), kSeparatorLine, information(texts.countdown(0)), line(texts.enableNow, 4),
                  line(texts.parentsSettings, 2)},
                 600ms},
        MenuCase{"DisabledAbsurdlyLong", std::pair{false, INT64_MAX},
                 {line(texts.about, 1), kSeparatorLine, information(texts.countdown(INT_MAX)),
                  line(texts.enableNow, 4), line(texts.parentsSettings, 2)}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Desktop, MenuOpensOnButtonPressesAndTheContextKeyOnly) {
    for (const UINT event : {WM_MOUSEMOVE, WM_LBUTTONUP, WM_LBUTTONDBLCLK}) agent.clickIcon(event);
    ASSERT_TRUE(agent.settle());
    EXPECT_TRUE(threadWindows(agent.threadId(), kMenuClass).empty());
    for (const UINT event : {WM_LBUTTONDOWN, WM_CONTEXTMENU}) {
        agent.clickIcon(event);
        const HWND menu = agent.waitForMenu();
        ASSERT_NE(menu, nullptr) << event;
        closeMenu(menu);
        ASSERT_TRUE(waitUntilGone(menu));
    }
}

TEST_F(Desktop, EnableNowAsksTheCoreWithoutPassword) {
    ASSERT_TRUE(agent.setStatus(false, 12 * kMinuteMs + kMinuteMs / 2));
    agent.clickIcon();
    const HWND menu = agent.waitForMenu();
    ASSERT_NE(menu, nullptr);
    chooseMenuLine(menu, menuLines(menu), 3);
    ASSERT_TRUE(waitUntil([&] { return agent.core().received().size() == 2; }, 10s));
    const Frame request = agent.core().received()[1];
    EXPECT_EQ(request.channel, 2);
    EXPECT_EQ(request.code, 0);
    EXPECT_EQ(request.values, (std::vector<Value>{std::string(), true, int64_t{0}}));
}

// ---- the About dialog

// Whether the control's text, in the control's font, fits on one line of its width.
::testing::AssertionResult fitsOnOneLine(HWND control) {
    const std::wstring text = windowText(control);
    const auto font = reinterpret_cast<HFONT>(send(control, WM_GETFONT));
    const HDC dc = ::GetDC(control);
    const HGDIOBJ previous = ::SelectObject(dc, font);
    SIZE size{};
    ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    ::SelectObject(dc, previous);
    ::ReleaseDC(control, dc);
    RECT area{};
    ::GetClientRect(control, &area);
    if (size.cx <= area.right) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "\"" << wideToUtf8(text) << "\" is " << size.cx
                                         << " pixels wide, its control " << area.right;
}

// The dialog's icon control shows the agent's icon at the dialog's DPI, nothing of it cut: the
// control keeps its template's size and centres the icon in it.
void expectIconShown(HWND dialog) {
    const HWND control = iconControl(dialog);
    ASSERT_NE(control, nullptr) << "no icon control";
    RECT area{};
    ::GetClientRect(control, &area);
    ASSERT_GT(area.right, 0) << "the icon control has no width";
    ASSERT_GT(area.bottom, 0) << "the icon control has no height";
    const auto icon = reinterpret_cast<HICON>(send(control, STM_GETICON));
    ASSERT_NE(icon, nullptr) << "the icon control shows no icon";
    const SIZE size = iconSize(icon);
    const RECT ink = iconInk(icon);
    const LONG left = (area.right - size.cx) / 2, top = (area.bottom - size.cy) / 2;
    EXPECT_GE(left + ink.left, 0) << "the icon is cut";
    EXPECT_LE(left + ink.right, area.right) << "the icon is cut";
    EXPECT_GE(top + ink.top, 0) << "the icon is cut";
    EXPECT_LE(top + ink.bottom, area.bottom) << "the icon is cut";
}

// The icon control's and the caption's icons are the images for that DPI.
void expectIconsFor(HWND dialog, UINT dpi) {
    const auto icon = reinterpret_cast<HICON>(send(iconControl(dialog), STM_GETICON));
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(iconSize(icon).cx, metricForDpi(SM_CXICON, dpi));
    const auto small = reinterpret_cast<HICON>(send(dialog, WM_GETICON, ICON_SMALL));
    ASSERT_NE(small, nullptr) << "no small icon";
    EXPECT_EQ(iconSize(small).cx, metricForDpi(SM_CXSMICON, dpi));
}

// What Windows sends a per-monitor aware dialog moved to a monitor of another DPI; the dialog
// manager's own scaling is Windows' part, which Wine does not do.
void moveToDpi(RunningAgent& agent, HWND dialog, UINT dpi) {
    RECT suggested = windowRect(dialog);
    send(dialog, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    ASSERT_TRUE(agent.settle());
}

TEST_F(Desktop, AboutShowsTheProductVersionAndIconOnce) {
    agent.clickIcon();
    const HWND menu = agent.waitForMenu();
    ASSERT_NE(menu, nullptr);
    chooseMenuLine(menu, menuLines(menu), 0);
    const HWND about = agent.waitForDialogTitled(texts.aboutCaption);
    ASSERT_NE(about, nullptr);
    const std::wstring product = L"Corvel Harbee Juvo, Version 2.5.4";
    EXPECT_EQ(unnamedTexts(about), (std::vector<std::wstring>{product, texts.aboutNotice}));
    const HWND productLine = childWithText(about, product);
    ASSERT_NE(productLine, nullptr);
    EXPECT_TRUE(fitsOnOneLine(productLine));
    EXPECT_EQ(itemText(about, IDOK), L"OK");
    expectIconShown(about);
    const UINT dpi = windowDpi(about);
    expectIconsFor(about, dpi);
    moveToDpi(agent, about, 2 * dpi);
    expectIconsFor(about, 2 * dpi);

    agent.command(kCommandAbout);
    ASSERT_TRUE(agent.settle());
    EXPECT_EQ(threadWindows(agent.threadId(), kDialogClass).size(), 1u) << "the open one is brought forward";
    click(about, IDOK);
    EXPECT_TRUE(waitUntilGone(about));
}

// ---- the temporary-disable dialog

class DisableDialog : public Desktop {
protected:
    HWND open() {
        agent.command(kCommandDisable);
        return agent.waitForDialog(IDC_PASSWORD);
    }
    static void choose(HWND dialog, int duration, const std::string& password) {
        send(::GetDlgItem(dialog, IDC_DURATION), CB_SETCURSEL, static_cast<WPARAM>(duration));
        setAnsiText(::GetDlgItem(dialog, IDC_PASSWORD), password);
    }
    size_t requests() {
        size_t count = 0;
        for (const Frame& frame : agent.core().received()) count += frame.channel == 2 ? 1 : 0;
        return count;
    }
    Frame lastRequest() { return agent.core().received().back(); }
};

HWND focusOf(DWORD threadId) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return ::GetGUIThreadInfo(threadId, &info) ? info.hwndFocus : nullptr;
}

std::vector<std::wstring> comboItems(HWND combo) {
    std::vector<std::wstring> items;
    const LRESULT count = send(combo, CB_GETCOUNT);
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t text[32] = {};
        send(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        items.emplace_back(text);
    }
    return items;
}

TEST_F(DisableDialog, ShowsItsTextsChoicesAndWaitsForThePassword) {
    const HWND dialog = open();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(itemText(dialog, IDC_DISABLE_TITLE), texts.dialogTitle);
    EXPECT_TRUE(fitsOnOneLine(::GetDlgItem(dialog, IDC_DISABLE_TITLE))) << "the bold title is cut";
    EXPECT_EQ(itemText(dialog, IDOK), texts.disableButton);
    EXPECT_EQ(itemText(dialog, IDCANCEL), texts.cancelButton);
    EXPECT_EQ(unnamedTexts(dialog), (std::vector<std::wstring>{texts.question, texts.passwordLabel}));
    expectIconShown(dialog);
    expectIconsFor(dialog, windowDpi(dialog));

    const HWND combo = ::GetDlgItem(dialog, IDC_DURATION);
    EXPECT_EQ(comboItems(combo), (std::vector<std::wstring>{L"5mn", L"10mn", L"15mn", L"30mn", L"1h", L"2h", L"4h"}));
    EXPECT_EQ(send(combo, CB_GETCURSEL), 0);

    EXPECT_EQ(focusOf(agent.threadId()), ::GetDlgItem(dialog, IDC_PASSWORD)) << "the parent types the password at once";
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(dialog, IDOK))) << "no password yet";

    RECT desktop{};
    ::GetWindowRect(::GetDesktopWindow(), &desktop);
    const POINT origin = centeredOrigin(desktop, windowRect(dialog));
    EXPECT_EQ(windowRect(dialog).left, origin.x);
    EXPECT_EQ(windowRect(dialog).top, origin.y);

    click(dialog, IDCANCEL);
    EXPECT_TRUE(waitUntilGone(dialog));
    EXPECT_EQ(requests(), 0u);
}

enum class Outcome { Closes, WrongPasswordBox, UnexpectedErrorBox };

struct AnswerCase {
    const char* name;
    std::optional<int32_t> answer;  // none: the core closes the connection instead
    Outcome outcome;
};

class DisableDialogAnswers : public DisableDialog, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(DisableDialogAnswers, ShowTheCoresVerdict) {
    const AnswerCase& c = GetParam();
    agent.core().answerChangeProtection(c.answer);
    const HWND dialog = open();
    ASSERT_NE(dialog, nullptr);
    choose(dialog, 5, "secret");
    click(dialog, IDOK);
    ASSERT_TRUE(waitUntil([&] { return requests() == 1; }, 10s));
    EXPECT_EQ(lastRequest().values, (std::vector<Value>{"secret", false, int64_t{7'200'000}})) << "2h";
    if (!c.answer) agent.core().closeClient();

    if (c.outcome == Outcome::Closes) {
        EXPECT_TRUE(waitUntilGone(dialog));
        return;
    }
    const HWND box = ownedBy(agent.threadId(), dialog);
    ASSERT_NE(box, nullptr) << "no message box";
    // Both boxes in the dialog's language.
    const bool wrongPassword = c.outcome == Outcome::WrongPasswordBox;
    EXPECT_EQ(windowText(box), texts.errorTitle);
    EXPECT_EQ(messageBoxText(box), wrongPassword ? texts.wrongPassword : texts.unexpectedError);
    // A wrong password is typed again from the start; after a failure the same one may be tried.
    EXPECT_EQ(itemText(dialog, IDC_PASSWORD), wrongPassword ? L"" : L"secret");
    EXPECT_EQ(::IsWindowEnabled(::GetDlgItem(dialog, IDOK)) != FALSE, !wrongPassword);
    click(box, IDOK);
    ASSERT_TRUE(waitUntilGone(box));
    ASSERT_TRUE(agent.settle());
    EXPECT_TRUE(::IsWindowVisible(dialog)) << "the parent may try again";
    EXPECT_EQ(focusOf(agent.threadId()), ::GetDlgItem(dialog, IDC_PASSWORD));
    click(dialog, IDCANCEL);
    EXPECT_TRUE(waitUntilGone(dialog));
}

INSTANTIATE_TEST_SUITE_P(Verdicts, DisableDialogAnswers,
                         ::testing::Values(AnswerCase{"Done", 0, Outcome::Closes},
                                           AnswerCase{"WrongPassword", 3, Outcome::WrongPasswordBox},
                                           AnswerCase{"Refused", 1, Outcome::UnexpectedErrorBox},
                                           AnswerCase{"ConnectionLost", std::nullopt, Outcome::UnexpectedErrorBox}),
                         [](const auto& info) { return std::string(info.param.name); });

// A request that throws (the connection out of memory) ends in the dialog procedure, under
// user32's dispatch: the dialog stays and the parent may go on.
TEST(DisableDialogAlone, ARequestThatThrowsLeavesTheDialogUsable) {
    struct ThrowingChanger final : ProtectionChanger {
        void requestProtectionChange(bool, int64_t, const std::string&, Completion<int>) override {
            ++calls;
            throw std::bad_alloc();
        }
        std::atomic<int> calls{0};
    } changer;
    std::promise<DWORD> threadId;
    std::thread dialogThread([&] {
        threadId.set_value(::GetCurrentThreadId());
        HWND open = nullptr;
        showDisableDialog(::GetModuleHandleW(nullptr), changer, open);
    });
    const DWORD thread = threadId.get_future().get();
    const HWND dialog = waitForWindow(thread, kDialogClass, [](HWND window) { return hasItem(window, IDC_PASSWORD); });
    ASSERT_NE(dialog, nullptr);
    setAnsiText(::GetDlgItem(dialog, IDC_PASSWORD), "secret");
    click(dialog, IDOK);
    ASSERT_TRUE(waitUntil([&] { return changer.calls == 1; }, 10s));
    EXPECT_TRUE(::IsWindowVisible(dialog));
    click(dialog, IDOK);
    ASSERT_TRUE(waitUntil([&] { return changer.calls == 2; }, 10s)) << "the dialog no longer answers";
    click(dialog, IDCANCEL);
    EXPECT_TRUE(waitUntilGone(dialog));
    dialogThread.join();
}

// The agent's own stop (its service lost) ends every modal loop the main thread is in, nested
// ones too: the agent must end so that the service launches a new one, whatever is left open.
TEST_F(DisableDialog, TheAgentsOwnStopClosesTheDialogAndItsMessageBox) {
    agent.core().answerChangeProtection(3);
    const HWND dialog = open();
    ASSERT_NE(dialog, nullptr);
    choose(dialog, 0, "wrong");
    click(dialog, IDOK);
    const HWND box = ownedBy(agent.threadId(), dialog);
    ASSERT_NE(box, nullptr);
    agent.agent().stop();
    EXPECT_TRUE(waitUntilGone(box));
    EXPECT_TRUE(waitUntilGone(dialog));
    EXPECT_TRUE(agent.stop());
}

TEST_F(Desktop, TheAgentsOwnStopClosesTheMenu) {
    agent.clickIcon();
    const HWND menu = agent.waitForMenu();
    ASSERT_NE(menu, nullptr);
    agent.agent().stop();
    EXPECT_TRUE(waitUntilGone(menu));
    EXPECT_TRUE(agent.stop());
}


TEST_F(DisableDialog, PasswordIsNeededAndCutTo127Characters) {
    const HWND dialog = open();
    ASSERT_NE(dialog, nullptr);
    click(dialog, IDOK);
    ASSERT_TRUE(agent.settle());

    // The request with a password comes after anything the first click could have sent.
    choose(dialog, 0, std::string(200, 'p'));
    click(dialog, IDOK);
    const std::vector<Value> cut{std::string(127, 'p'), false, int64_t{300'000}};
    ASSERT_TRUE(waitUntil([&] { return requests() >= 1 && lastRequest().values == cut; }, 10s));
    EXPECT_EQ(requests(), 1u) << "no password, no request";
    EXPECT_TRUE(waitUntilGone(dialog)) << "answered 0";
}

TEST_F(DisableDialog, DisableIsOfferedWithAPasswordAndOneRequestAtATime) {
    agent.core().answerChangeProtection(std::nullopt);  // the core answers when the test says
    const HWND dialog = open();
    ASSERT_NE(dialog, nullptr);
    const HWND disable = ::GetDlgItem(dialog, IDOK);
    const auto offered = [&] { return ::IsWindowEnabled(disable) != FALSE; };
    EXPECT_FALSE(offered());
    // A verdict posted from outside while no request is out: no box, the dialog stays.
    ::PostMessageW(dialog, kDisableVerdictMessage, 3, 0);
    ::PostMessageW(dialog, kDisableVerdictMessage, 0, 0);
    ASSERT_TRUE(agent.settle());
    EXPECT_EQ(threadWindows(agent.threadId(), kDialogClass), std::vector<HWND>{dialog});
    setAnsiText(::GetDlgItem(dialog, IDC_PASSWORD), "s");
    EXPECT_TRUE(offered());
    setAnsiText(::GetDlgItem(dialog, IDC_PASSWORD), "");
    EXPECT_FALSE(offered()) << "the password was taken away";
    choose(dialog, 1, "secret");
    EXPECT_TRUE(offered());

    click(dialog, IDOK);
    ASSERT_TRUE(waitUntil([&] { return requests() == 1; }, 10s));
    ASSERT_TRUE(agent.settle());
    EXPECT_FALSE(offered()) << "greyed while the core checks";
    const auto cursorOverDialog = [&] {
        const LRESULT handled = send(dialog, WM_SETCURSOR, reinterpret_cast<WPARAM>(dialog), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        HCURSOR cursor = nullptr;
        agent.onAgentThread([&] { cursor = ::GetCursor(); });
        return handled ? cursor : nullptr;
    };
    EXPECT_EQ(cursorOverDialog(), ::LoadCursorW(nullptr, IDC_APPSTARTING)) << "no sign of the check";

    // Pressed again while the core checks: nothing is sent. Enable now sends a request behind
    // anything the press could have sent.
    click(dialog, IDOK);
    agent.command(kCommandEnableNow);
    ASSERT_TRUE(waitUntil([&] { return requests() == 2; }, 10s));
    const std::vector<Frame> frames = agent.core().received();
    EXPECT_EQ(frames.back().values, (std::vector<Value>{std::string(), true, int64_t{0}})) << "a second disable request";

    const int32_t disableId = frames[frames.size() - 2].id;
    ASSERT_TRUE(agent.core().sendRaw(frameBytes(-disableId, 0, 3, {})));
    const HWND box = ownedBy(agent.threadId(), dialog);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(threadWindows(agent.threadId(), kDialogClass).size(), 2u) << "one box";
    click(box, IDOK);
    ASSERT_TRUE(waitUntilGone(box));
    ASSERT_TRUE(agent.settle());
    EXPECT_EQ(cursorOverDialog(), nullptr) << "still checking";
    choose(dialog, 1, "again");
    EXPECT_TRUE(offered()) << "a new password may be tried";
    click(dialog, IDCANCEL);
    EXPECT_TRUE(waitUntilGone(dialog));
}

TEST_F(DisableDialog, AnAnswerAfterCancelShowsNothing) {
    agent.core().answerChangeProtection(std::nullopt);
    const HWND dialog = open();
    ASSERT_NE(dialog, nullptr);
    choose(dialog, 1, "secret");
    click(dialog, IDOK);
    ASSERT_TRUE(waitUntil([&] { return requests() == 1; }, 10s));
    click(dialog, IDCANCEL);
    ASSERT_TRUE(waitUntilGone(dialog));

    ASSERT_TRUE(agent.core().sendRaw(frameBytes(-lastRequest().id, 0, 3, {})));
    // The status behind it on the connection is taken after it, and the verdict it would post
    // before the marker settle() waits for.
    ASSERT_TRUE(agent.setStatus(true, 0));
    ASSERT_TRUE(agent.settle());
    EXPECT_TRUE(threadWindows(agent.threadId(), kDialogClass).empty());
    EXPECT_TRUE(agent.core().clientConnected());
}

LONG fontHeight(HWND control) {
    LOGFONTW font{};
    ::GetObjectW(reinterpret_cast<HFONT>(send(control, WM_GETFONT)), sizeof font, &font);
    return font.lfHeight;
}

TEST_F(DisableDialog, ItsTitleAndIconsFollowADpiChange) {
    const HWND dialog = open();
    ASSERT_NE(dialog, nullptr);
    const HWND title = ::GetDlgItem(dialog, IDC_DISABLE_TITLE);
    const UINT dpi = windowDpi(dialog);
    const LONG before = fontHeight(title);
    // 16 pixels at 96 DPI, smaller where the language's title would not fit.
    EXPECT_LE(before, ::MulDiv(16, static_cast<int>(dpi), 96));
    EXPECT_TRUE(fitsOnOneLine(title));

    // Twice the DPI: the dialog manager doubles the title's width as the title is made again.
    agent.onAgentThread([&] {
        RECT suggested = windowRect(dialog);
        ::SendMessageW(dialog, WM_DPICHANGED, MAKEWPARAM(2 * dpi, 2 * dpi), reinterpret_cast<LPARAM>(&suggested));
        const RECT area = windowRect(title);
        ::SetWindowPos(title, nullptr, 0, 0, 2 * (area.right - area.left), 2 * (area.bottom - area.top),
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    });
    ASSERT_TRUE(agent.settle());
    const LONG after = fontHeight(title);
    EXPECT_GE(after, 2 * before - 1) << "made for the new DPI";
    EXPECT_LE(after, ::MulDiv(32, static_cast<int>(dpi), 96));
    EXPECT_TRUE(fitsOnOneLine(title));
    expectIconsFor(dialog, 2 * dpi);
    click(dialog, IDCANCEL);
    EXPECT_TRUE(waitUntilGone(dialog));
}

TEST_F(DisableDialog, ASecondDisableBringsTheOpenDialogForward) {
    const HWND dialog = open();
    ASSERT_NE(dialog, nullptr);
    agent.command(kCommandDisable);
    ASSERT_TRUE(agent.settle());
    EXPECT_EQ(threadWindows(agent.threadId(), kDialogClass), std::vector<HWND>{dialog});
    click(dialog, IDCANCEL);
    ASSERT_TRUE(waitUntilGone(dialog));
    ASSERT_TRUE(agent.settle());
    EXPECT_TRUE(threadWindows(agent.threadId(), kDialogClass).empty());
}

// ---- the parents' settings program

std::wstring programFilesX86() {
    UniqueTaskMemory<wchar_t*> folder;
    if (FAILED(::SHGetKnownFolderPath(FOLDERID_ProgramFilesX86, 0, nullptr, folder.put())) || !folder) return {};
    return folder.get();
}

TEST_F(Desktop, ParentsSettingsStartsTheProgramUnderProgramFiles) {
    const std::wstring folder = programFilesX86() + L"\\Corvel Harbee";
    const std::wstring program = folder + L"\\dashboard.exe";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    ASSERT_TRUE(::CopyFileW(siblingPath(L"ident_windowed.exe").c_str(), program.c_str(), FALSE));

    agent.command(kCommandParentsSettings);
    const DWORD started = waitForChild(::GetCurrentProcessId(), L"dashboard.exe", 10000);
    EXPECT_NE(started, 0u) << "dashboard.exe was not started";
    if (started) endProcess(started);
    ::DeleteFileW(program.c_str());
    ::RemoveDirectoryW(folder.c_str());
}

TEST_F(Desktop, AMissingParentsSettingsProgramStartsNothing) {
    const std::wstring program = programFilesX86() + L"\\Corvel Harbee\\dashboard.exe";
    ASSERT_EQ(::GetFileAttributesW(program.c_str()), INVALID_FILE_ATTRIBUTES);
    agent.command(kCommandParentsSettings);
    ASSERT_TRUE(agent.settle());
    EXPECT_EQ(waitForChild(::GetCurrentProcessId(), L"dashboard.exe", 500), 0u);
    EXPECT_TRUE(threadWindows(agent.threadId(), kDialogClass).empty()) << "nothing is said about it";
    agent.clickIcon();
    const HWND menu = agent.waitForMenu();
    EXPECT_NE(menu, nullptr) << "the agent still answers";
    if (menu) closeMenu(menu);
}

}  // namespace
}  // namespace brisko::testing
