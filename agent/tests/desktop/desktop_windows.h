#pragma once
// What a user sees of one thread's windows, read and driven from another thread the way clicks
// and keys would: menus, dialogs and message boxes.
#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace brisko::testing {

inline constexpr wchar_t kMenuClass[] = L"#32768";
inline constexpr wchar_t kDialogClass[] = L"#32770";

// Top-level windows of the thread with that class, the visible ones unless told otherwise.
std::vector<HWND> threadWindows(DWORD threadId, const wchar_t* className, bool visibleOnly = true);

// The first such window that accept takes, polled until the timeout; null when none came.
HWND waitForWindow(DWORD threadId, const wchar_t* className, const std::function<bool(HWND)>& accept,
                   std::chrono::milliseconds timeout = std::chrono::seconds(10));
// Waits until the window is gone; false when it is still there after the timeout.
bool waitUntilGone(HWND window, std::chrono::milliseconds timeout = std::chrono::seconds(10));

// SendMessage that gives up after a while: the test fails instead of hanging when the window's
// thread no longer answers.
LRESULT send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
// WM_SETTEXT with 8-bit text, as an ANSI program would type it.
void setAnsiText(HWND window, const std::string& text);

std::wstring windowText(HWND window);
std::wstring itemText(HWND dialog, int id);
bool hasItem(HWND dialog, int id);
// The non-empty texts of the controls without an id (-1) but icons, in the template's order.
std::vector<std::wstring> unnamedTexts(HWND dialog);
// The dialog's control showing this text; null when none.
HWND childWithText(HWND dialog, const std::wstring& text);
// The width and height of an icon's image.
SIZE iconSize(HICON icon);
// The part of an icon's image that is not transparent, within the image.
RECT iconInk(HICON icon);
// The message box a dialog owns.
HWND ownedBy(DWORD threadId, HWND owner, std::chrono::milliseconds timeout = std::chrono::seconds(10));
// The static text of a message box (the one that is not its icon).
std::wstring messageBoxText(HWND box);

// A button click as the dialog receives it.
void click(HWND dialog, int id);

struct MenuLine {
    std::wstring text;  // empty for a separator
    UINT id;
    bool separator, selectable, grayed;
    bool operator==(const MenuLine&) const = default;
};
std::vector<MenuLine> menuLines(HWND menuWindow);
// Chooses the line at position with the keyboard, as a user would; lines before it that are
// separators are skipped by the menu itself.
void chooseMenuLine(HWND menuWindow, const std::vector<MenuLine>& lines, size_t position);
void closeMenu(HWND menuWindow);

}  // namespace brisko::testing
