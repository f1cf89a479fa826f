// Pictures of what the child and the parent see, in this run's language at the screen's DPI:
// the tray menu while protection is suspended, the disable dialog, the wrong-password box and
// the About dialog.
// They are kept in the folder named by HARBEE_SCREENSHOTS, else in screenshots/ beside the
// program (take-screenshots.sh runs this at 96 and 144 DPI).
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "desktop/desktop_windows.h"
#include "desktop/recording_shell.h"
#include "desktop/running_agent.h"
#include "desktop/screen_capture.h"
#include "desktop/ui_texts.h"
#include "executable_path.h"
#include "resource_ids.h"
#include "ui/tray_menu.h"

namespace brisko::testing {
namespace {

using namespace std::chrono_literals;

std::wstring screenshotPrefix() {
    wchar_t folder[MAX_PATH] = {};
    std::wstring path = ::GetEnvironmentVariableW(L"HARBEE_SCREENSHOTS", folder, MAX_PATH) ? std::wstring(folder)
                                                                                          : siblingPath(L"screenshots");
    ::CreateDirectoryW(path.c_str(), nullptr);
    const HDC screen = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSX);
    ::ReleaseDC(nullptr, screen);
    return path + L"\\" + uiTexts().language + L"-" + std::to_wstring(dpi) + L"dpi-";
}

// Lets the agent's thread paint what it just showed.
void painted(RunningAgent& agent) {
    agent.settle();
    std::this_thread::sleep_for(500ms);
    agent.settle();
}

RECT withMargin(RECT rect, int margin) {
    ::InflateRect(&rect, margin, margin);
    return rect;
}

TEST(Screenshots, MenuDialogsAndWrongPasswordBox) {
    RecordingShell shell;
    RunningAgent agent(shell);
    ASSERT_TRUE(agent.started());
    const std::wstring prefix = screenshotPrefix();

    ASSERT_TRUE(agent.setStatus(false, 12 * 60'000 + 30'000));
    ::SetCursorPos(560, 600);
    agent.clickIcon();
    const HWND menu = agent.waitForMenu();
    ASSERT_NE(menu, nullptr);
    painted(agent);
    EXPECT_TRUE(saveScreenPng(withMargin(windowRect(menu), 6), prefix + L"menu.png"));
    closeMenu(menu);
    ASSERT_TRUE(waitUntilGone(menu));

    agent.core().answerChangeProtection(3);
    agent.command(kCommandDisable);
    const HWND dialog = agent.waitForDialog(IDC_PASSWORD);
    ASSERT_NE(dialog, nullptr);
    send(::GetDlgItem(dialog, IDC_DURATION), CB_SETCURSEL, 5);
    setAnsiText(::GetDlgItem(dialog, IDC_PASSWORD), "secret");
    painted(agent);
    EXPECT_TRUE(saveScreenPng(withMargin(windowRect(dialog), 6), prefix + L"disable.png"));

    click(dialog, IDOK);
    const HWND box = ownedBy(agent.threadId(), dialog);
    ASSERT_NE(box, nullptr);
    painted(agent);
    EXPECT_TRUE(saveScreenPng(withMargin(unite(windowRect(dialog), windowRect(box)), 6), prefix + L"wrong-password.png"));
    click(box, IDOK);
    ASSERT_TRUE(waitUntilGone(box));
    click(dialog, IDCANCEL);
    ASSERT_TRUE(waitUntilGone(dialog));

    agent.command(kCommandAbout);
    const HWND about = agent.waitForDialogTitled(uiTexts().aboutCaption);
    ASSERT_NE(about, nullptr);
    painted(agent);
    EXPECT_TRUE(saveScreenPng(withMargin(windowRect(about), 6), prefix + L"about.png"));
    click(about, IDOK);
    EXPECT_TRUE(waitUntilGone(about));
}

}  // namespace
}  // namespace brisko::testing
