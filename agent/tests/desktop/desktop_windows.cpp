#include "desktop_windows.h"

#include <algorithm>
#include <thread>

#include <gtest/gtest.h>

namespace brisko::testing {
namespace {

struct Search {
    const wchar_t* className;
    bool visibleOnly;
    std::vector<HWND> found;
};

BOOL CALLBACK collect(HWND window, LPARAM lParam) {
    auto& search = *reinterpret_cast<Search*>(lParam);
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, 64);
    if ((!search.visibleOnly || ::IsWindowVisible(window)) && ::lstrcmpW(name, search.className) == 0)
        search.found.push_back(window);
    return TRUE;
}

constexpr UINT kAnswerTimeout = 10000;

template <typename Condition>
bool poll(Condition condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

}  // namespace

std::vector<HWND> threadWindows(DWORD threadId, const wchar_t* className, bool visibleOnly) {
    Search search{className, visibleOnly, {}};
    ::EnumThreadWindows(threadId, &collect, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND waitForWindow(DWORD threadId, const wchar_t* className, const std::function<bool(HWND)>& accept,
                   std::chrono::milliseconds timeout) {
    HWND result = nullptr;
    poll(
        [&] {
            for (const HWND window : threadWindows(threadId, className))
                if (accept(window)) result = window;
            return result != nullptr;
        },
        timeout);
    return result;
}

bool waitUntilGone(HWND window, std::chrono::milliseconds timeout) {
    return poll([&] { return !::IsWindow(window) || !::IsWindowVisible(window); }, timeout);
}

LRESULT send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (!::SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, kAnswerTimeout, &result))
        ADD_FAILURE() << "message " << message << " not answered";
    return static_cast<LRESULT>(result);
}

void setAnsiText(HWND window, const std::string& text) {
    DWORD_PTR result = 0;
    if (!::SendMessageTimeoutA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_NORMAL, kAnswerTimeout,
                               &result))
        ADD_FAILURE() << "WM_SETTEXT not answered";
}

std::wstring windowText(HWND window) {
    std::wstring text(512, L'\0');
    const LRESULT length = send(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(length));
    return text;
}

std::wstring itemText(HWND dialog, int id) { return windowText(::GetDlgItem(dialog, id)); }

bool hasItem(HWND dialog, int id) { return ::GetDlgItem(dialog, id) != nullptr; }

std::vector<std::wstring> unnamedTexts(HWND dialog) {
    std::vector<std::wstring> texts;
    for (HWND child = ::GetWindow(dialog, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (static_cast<WORD>(::GetDlgCtrlID(child)) != 0xFFFF) continue;
        if ((::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) continue;  // its text names the icon
        if (std::wstring text = windowText(child); !text.empty()) texts.push_back(std::move(text));
    }
    return texts;
}

HWND childWithText(HWND dialog, const std::wstring& text) {
    for (HWND child = ::GetWindow(dialog, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
        if (windowText(child) == text) return child;
    return nullptr;
}

SIZE iconSize(HICON icon) {
    ICONINFO info{};
    if (!::GetIconInfo(icon, &info)) return {};
    // A monochrome icon has only its mask, twice the height: the AND mask over the XOR one.
    const bool colour = info.hbmColor != nullptr;
    BITMAP bitmap{};
    ::GetObjectW(colour ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    if (colour) ::DeleteObject(info.hbmColor);
    ::DeleteObject(info.hbmMask);
    return {bitmap.bmWidth, colour ? bitmap.bmHeight : bitmap.bmHeight / 2};
}

RECT iconInk(HICON icon) {
    const SIZE size = iconSize(icon);
    if (size.cx <= 0 || size.cy <= 0) return {};
    // Drawn onto a transparent top-down 32-bit image, which keeps the icon's alpha.
    BITMAPINFO format{};
    format.bmiHeader = {sizeof(BITMAPINFOHEADER), size.cx, -size.cy, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    const HDC dc = ::CreateCompatibleDC(nullptr);
    const HBITMAP image = ::CreateDIBSection(dc, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    RECT ink{size.cx, size.cy, 0, 0};
    if (image) {
        const HGDIOBJ previous = ::SelectObject(dc, image);
        ::DrawIconEx(dc, 0, 0, icon, size.cx, size.cy, 0, nullptr, DI_NORMAL);
        ::GdiFlush();
        const auto* pixels = static_cast<const DWORD*>(bits);
        for (LONG y = 0; y < size.cy; ++y)
            for (LONG x = 0; x < size.cx; ++x)
                if (pixels[y * size.cx + x] >> 24) {
                    ink.left = std::min(ink.left, x);
                    ink.top = std::min(ink.top, y);
                    ink.right = std::max(ink.right, x + 1);
                    ink.bottom = std::max(ink.bottom, y + 1);
                }
        ::SelectObject(dc, previous);
        ::DeleteObject(image);
    }
    ::DeleteDC(dc);
    return ink.right > ink.left ? ink : RECT{};
}

HWND ownedBy(DWORD threadId, HWND owner, std::chrono::milliseconds timeout) {
    return waitForWindow(
        threadId, kDialogClass, [&](HWND window) { return ::GetWindow(window, GW_OWNER) == owner; }, timeout);
}

std::wstring messageBoxText(HWND box) {
    // The text is the static control without SS_ICON.
    for (HWND child = ::GetWindow(box, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        wchar_t name[32] = {};
        ::GetClassNameW(child, name, 32);
        if (::lstrcmpiW(name, L"Static") == 0 && (::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) {
            const std::wstring text = windowText(child);
            if (!text.empty()) return text;
        }
    }
    return {};
}

void click(HWND dialog, int id) {
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

std::vector<MenuLine> menuLines(HWND menuWindow) {
    const auto menu = reinterpret_cast<HMENU>(send(menuWindow, MN_GETHMENU));
    std::vector<MenuLine> lines;
    const int count = ::GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        wchar_t text[256] = {};
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = 256;
        ::GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info);
        if (info.fType & MFT_SEPARATOR) {
            lines.push_back({L"", 0, true, false, false});
            continue;
        }
        const UINT state = ::GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION);
        lines.push_back({text, info.wID, false, (state & (MF_DISABLED | MF_GRAYED)) == 0, (state & MF_GRAYED) != 0});
    }
    return lines;
}

void chooseMenuLine(HWND menuWindow, const std::vector<MenuLine>& lines, size_t position) {
    for (size_t i = 0; i <= position; ++i)
        if (!lines[i].separator) ::PostMessageW(menuWindow, WM_KEYDOWN, VK_DOWN, 0);
    ::PostMessageW(menuWindow, WM_KEYDOWN, VK_RETURN, 0);
}

void closeMenu(HWND menuWindow) { ::PostMessageW(menuWindow, WM_KEYDOWN, VK_ESCAPE, 0); }

}  // namespace brisko::testing
