// The agent's icon in Wine's own notification area, which Wine shows under Xvfb as a window of
// its own holding one child window per icon (class names differ between Wine 8 and Wine 10): the icon comes with the agent window, comes back
// for a new taskbar after the shell lost it, and goes when the agent ends. Balloons are not
// seen here: Wine finds icons by window and uID only, and the balloon's uID is 0.
#include <gtest/gtest.h>

#include "desktop/desktop_windows.h"
#include "desktop/running_agent.h"
#include "ui/notify_icon.h"

namespace brisko::testing {
namespace {

using namespace std::chrono_literals;

constexpr const wchar_t* kTrayClasses[] = {L"__winex11_standalone_tray", L"Shell_TrayWnd"};
constexpr const wchar_t* kIconClasses[] = {L"__winex11_tray_icon", L"__wine_tray_icon"};

BOOL CALLBACK countIcon(HWND window, LPARAM count) {
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, 64);
    if (!::IsWindowVisible(window)) return TRUE;
    for (const wchar_t* iconClass : kIconClasses)
        if (::lstrcmpW(name, iconClass) == 0) ++*reinterpret_cast<int*>(count);
    return TRUE;
}

int trayIcons() {
    int count = 0;
    for (const wchar_t* trayClass : kTrayClasses)
        for (HWND tray = ::FindWindowExW(nullptr, nullptr, trayClass, nullptr); tray;
             tray = ::FindWindowExW(nullptr, tray, trayClass, nullptr))
            ::EnumChildWindows(tray, &countIcon, reinterpret_cast<LPARAM>(&count));
    return count;
}

TEST(RealShell, IconComesBackForANewTaskbarAndGoesAtTheEnd) {
    const int before = trayIcons();
    SystemTrayShell shell;
    RunningAgent agent(shell);
    ASSERT_TRUE(agent.started());
    ASSERT_TRUE(waitUntil([&] { return trayIcons() == before + 1; }, 10s)) << "no icon in the notification area";

    // What a restarted Explorer does to the icon: forgets it.
    NOTIFYICONDATAW remove = removeIconData(agent.window());
    ASSERT_TRUE(::Shell_NotifyIconW(NIM_DELETE, &remove));
    ASSERT_TRUE(waitUntil([&] { return trayIcons() == before; }, 10s));
    send(agent.window(), ::RegisterWindowMessageW(L"TaskbarCreated"));
    EXPECT_TRUE(waitUntil([&] { return trayIcons() == before + 1; }, 10s)) << "not added again";

    ASSERT_TRUE(agent.stop());
    EXPECT_TRUE(waitUntil([&] { return trayIcons() == before; }, 10s)) << "left behind";
}

}  // namespace
}  // namespace brisko::testing
