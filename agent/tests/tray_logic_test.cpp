// The tray's pure decisions: the records handed to the shell, the menu for each protection
// state, where dialogs go, the disable durations and the parents' settings path.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "resource_ids.h"
#include "ui/dialog_placement.h"
#include "ui/disable_dialog.h"
#include "ui/notify_icon.h"
#include "ui/parents_settings.h"
#include "ui/tray_menu.h"

namespace brisko {

// Found by gtest through the type's namespace.
void PrintTo(const MenuEntry& e, std::ostream* os) {
    *os << "{text " << e.text;
    if (e.minutes) *os << " minutes " << *e.minutes;
    *os << ", command " << e.command << ", flags " << e.flags << "}";
}

namespace {

const HWND kWindow = reinterpret_cast<HWND>(0x1234);
const HICON kIcon = reinterpret_cast<HICON>(0x5678);

TEST(NotifyIconData, AddRemoveAndBalloonRecords) {
    const NOTIFYICONDATAW add = addIconData(kWindow, kIcon, L"Corvel Harbee Juvo");
    EXPECT_EQ(add.cbSize, sizeof(NOTIFYICONDATAW));
    EXPECT_EQ(add.hWnd, kWindow);
    EXPECT_EQ(add.uID, 1u);
    EXPECT_EQ(add.uFlags, 0x27u) << "message, icon, tip and GUID";
    EXPECT_EQ(add.uCallbackMessage, 0x401u);
    EXPECT_EQ(add.hIcon, kIcon);
    EXPECT_STREQ(add.szTip, L"Corvel Harbee Juvo");
    EXPECT_EQ(add.guidItem, kTrayIconGuid);

    const NOTIFYICONDATAW remove = removeIconData(kWindow);
    EXPECT_EQ(remove.cbSize, sizeof(NOTIFYICONDATAW));
    EXPECT_EQ(remove.uID, 1u);
    EXPECT_EQ(remove.uFlags, 0x20u) << "GUID only";
    EXPECT_EQ(remove.guidItem, kTrayIconGuid);
    EXPECT_EQ(remove.hIcon, nullptr);

    const NOTIFYICONDATAW balloon = balloonData(kWindow, L"Game blocked!", L"Quota exhausted");
    EXPECT_EQ(balloon.cbSize, sizeof(NOTIFYICONDATAW));
    EXPECT_EQ(balloon.hWnd, kWindow);
    EXPECT_EQ(balloon.uID, 0u);
    EXPECT_EQ(balloon.uFlags, 0x70u) << "info, GUID and real-time";
    EXPECT_EQ(balloon.guidItem, kTrayIconGuid);
    EXPECT_STREQ(balloon.szInfoTitle, L"Game blocked!");
    EXPECT_STREQ(balloon.szInfo, L"Quota exhausted");
    EXPECT_EQ(balloon.uTimeout, 2u);
    EXPECT_EQ(balloon.dwInfoFlags, 0x84u) << "user icon, respecting quiet time";
}

TEST(NotifyIconData, LongTextsAreCutToTheFields) {
    struct Case {
        std::wstring title, text, expectTitle, expectText;
    };
    const std::wstring surrogatePair = L"\xD83D\xDE00";
    for (const Case& c : {
             Case{std::wstring(63, L't'), std::wstring(255, L'x'), std::wstring(63, L't'), std::wstring(255, L'x')},
             Case{std::wstring(64, L't'), std::wstring(256, L'x'), std::wstring(63, L't'), std::wstring(255, L'x')},
             Case{std::wstring(500, L't'), std::wstring(5000, L'x'), std::wstring(63, L't'), std::wstring(255, L'x')},
             Case{std::wstring(62, L't') + surrogatePair, std::wstring(254, L'x') + surrogatePair,
                  std::wstring(62, L't'), std::wstring(254, L'x')},
             Case{L"", L"", L"", L""},
         }) {
        const NOTIFYICONDATAW balloon = balloonData(kWindow, c.title, c.text);
        EXPECT_EQ(std::wstring(balloon.szInfoTitle), c.expectTitle) << c.title.size();
        EXPECT_EQ(std::wstring(balloon.szInfo), c.expectText) << c.text.size();
    }
    const NOTIFYICONDATAW add = addIconData(kWindow, kIcon, std::wstring(300, L'a'));
    EXPECT_EQ(std::wstring(add.szTip), std::wstring(127, L'a'));
}

// 100 ns per tick; 600,000,000 ticks to the minute.
constexpr double kNsPerTick = 100.0;
constexpr int64_t kNow = 5'000'000'000;
constexpr int64_t kTicksPerMinute = 600'000'000;

const MenuEntry kAbout{IDS_MENU_ABOUT, std::nullopt, kCommandAbout};
const MenuEntry kSeparator{0, std::nullopt, kNoCommand, MF_SEPARATOR};
const MenuEntry kDisable{IDS_MENU_DISABLE, std::nullopt, kCommandDisable};
const MenuEntry kEnableNow{IDS_MENU_ENABLE_NOW, std::nullopt, kCommandEnableNow};
const MenuEntry kEnableNowGrayed{IDS_MENU_ENABLE_NOW, std::nullopt, kCommandEnableNow, MF_STRING | MF_GRAYED};
const MenuEntry kParents{IDS_MENU_PARENTS_SETTINGS, std::nullopt, kCommandParentsSettings};
MenuEntry countdown(int minutes) { return {IDS_DISABLED_COUNTDOWN, minutes, kNoCommand, MF_STRING | MF_DISABLED}; }

struct MenuCase {
    const char* name;
    ProtectionState state;
    std::vector<MenuEntry> entries;
};

class TrayMenuEntries : public ::testing::TestWithParam<MenuCase> {};

TEST_P(TrayMenuEntries, FollowTheProtectionState) {
    EXPECT_EQ(trayMenuEntries(GetParam().state, kNow, kNsPerTick), GetParam().entries);
}

INSTANTIATE_TEST_SUITE_P(
    States, TrayMenuEntries,
    ::testing::Values(
        MenuCase{"NoStatusYet", {true, ProtectionState::kNoStatusYet}, {kAbout, kSeparator, kDisable, kParents}},
        MenuCase{"Enabled", {true, 0}, {kAbout, kSeparator, kDisable, kParents}},
        MenuCase{"DisabledUntilFurtherNotice", {false, 0}, {kAbout, kSeparator, kEnableNowGrayed, kParents}},
        MenuCase{"Disabled12MinutesLeft", {false, kNow + 12 * kTicksPerMinute + kTicksPerMinute / 2},
                 {kAbout, kSeparator, countdown(12), kEnableNow, kParents}},
        MenuCase{"DisabledLessThanAMinuteLeft", {false, kNow + kTicksPerMinute - 1},
                 {kAbout, kSeparator, countdown(0), kEnableNow, kParents}},
        MenuCase{"DisabledDeadlinePassed", {false, kNow - 3 * kTicksPerMinute},
                 {kAbout, kSeparator, countdown(0), kEnableNow, kParents}},
        MenuCase{"DisabledAbsurdlyLong", {false, INT64_MAX}, {kAbout, kSeparator, countdown(INT_MAX), kEnableNow, kParents}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TrayMenuClicks, OnlyButtonPressesAndTheContextMenuOpenIt) {
    for (const UINT event : {WM_CONTEXTMENU, WM_LBUTTONDOWN, WM_RBUTTONDOWN}) EXPECT_TRUE(opensTrayMenu(event)) << event;
    for (const UINT event : {WM_MOUSEMOVE, WM_LBUTTONUP, WM_RBUTTONUP, WM_LBUTTONDBLCLK, NIN_BALLOONUSERCLICK})
        EXPECT_FALSE(opensTrayMenu(event)) << event;
}

TEST(DialogPlacement, CentredAcrossAThirdDown) {
    struct Case {
        RECT owner, dialog;
        POINT origin;
    };
    for (const Case& c : {
             Case{{0, 0, 1280, 1024}, {0, 0, 437, 210}, {421, 271}},
             Case{{100, 50, 500, 350}, {7, 7, 108, 108}, {249, 116}},
             Case{{0, 0, 200, 100}, {0, 0, 301, 160}, {-50, -20}},  // larger than its owner: truncated toward 0
         }) {
        const POINT origin = centeredOrigin(c.owner, c.dialog);
        EXPECT_EQ(origin.x, c.origin.x);
        EXPECT_EQ(origin.y, c.origin.y);
    }
}

TEST(DisableDurations, ChoicesAndTheirMilliseconds) {
    const std::vector<std::wstring> labels{L"5mn", L"10mn", L"15mn", L"30mn", L"1h", L"2h", L"4h"};
    ASSERT_EQ(kDisableDurations.size(), labels.size());
    for (size_t i = 0; i < labels.size(); ++i) EXPECT_EQ(kDisableDurations[i].label, labels[i]);
    EXPECT_EQ(disableDurationMs(0), 300'000);
    EXPECT_EQ(disableDurationMs(5), 7'200'000) << "2h";
    EXPECT_EQ(disableDurationMs(6), 14'400'000);
    EXPECT_EQ(disableDurationMs(CB_ERR), std::nullopt);
    EXPECT_EQ(disableDurationMs(7), std::nullopt);
}

TEST(DisableDialogTitle, FontShrinksUntilTheTextFits) {
    const auto widthAt = [](int height) { return height * 25; };  // a text 25 times as wide as high
    EXPECT_EQ(fittingFontHeight(16, 8, 400, widthAt), 16) << "fits as it is";
    EXPECT_EQ(fittingFontHeight(16, 8, 399, widthAt), 15);
    EXPECT_EQ(fittingFontHeight(16, 8, 300, widthAt), 12);
    EXPECT_EQ(fittingFontHeight(16, 8, 10, widthAt), 8) << "never below the smallest";
    EXPECT_EQ(fittingFontHeight(24, 8, 700, widthAt), 24) << "a larger screen DPI keeps its larger font";
}

TEST(ParentsSettings, PathBelowProgramFiles) {
    EXPECT_EQ(parentsSettingsPath(L"C:\\Program Files (x86)", L"Corvel Harbee\\dashboard.exe"),
              L"C:\\Program Files (x86)\\Corvel Harbee\\dashboard.exe");
    EXPECT_EQ(parentsSettingsPath(L"", L"Corvel Harbee\\dashboard.exe"), std::nullopt);
    EXPECT_EQ(parentsSettingsPath(L"C:\\Program Files", L""), std::nullopt);
    const std::wstring longest(kParentsSettingsPathCapacity - 1 - 2, L'p');
    EXPECT_EQ(parentsSettingsPath(longest, L"x")->size(), kParentsSettingsPathCapacity - 1);
    EXPECT_EQ(parentsSettingsPath(longest + L"p", L"x"), std::nullopt) << "no room for the terminating NUL";
}

}  // namespace
}  // namespace brisko
